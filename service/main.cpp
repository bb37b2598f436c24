#include "LibraryLoader.hpp"
#include "SampleService.hpp"
#include "SyntheticLibrary.hpp"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

using namespace quorvel::service;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

[[noreturn]] void usage(int code) {
    (code == 0 ? std::cout : std::cerr)
        << "usage: quorvel-sample-service [--port N] [--library DIR | --generate N_DOCS [--images N_IMAGES] "
           "[--seed S]]\n"
           "                              [--control] [--tls] [--access-ttl SECONDS] [--min-version X.Y.Z]\n"
           "                              [--latest-version X.Y.Z]\n";
    std::exit(code);
}

std::string value(int &i, int argc, char **argv) {
    if (i + 1 >= argc) usage(2);
    return argv[++i];
}

long long number(int &i, int argc, char **argv) {
    std::string text = value(i, argc, argv);
    try {
        size_t used = 0;
        long long n = std::stoll(text, &used);
        if (used != text.size() || n < 0) usage(2);
        return n;
    } catch (const std::exception &) {
        usage(2);
    }
}

} // namespace

int main(int argc, char **argv) {
    ServiceOptions options;
    options.port = 8787;
    std::string libraryDir;
    std::optional<long long> generate;
    long long images = 0, seed = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--port") {
            options.port = static_cast<int>(number(i, argc, argv));
        } else if (arg == "--library") {
            libraryDir = value(i, argc, argv);
        } else if (arg == "--generate") {
            generate = number(i, argc, argv);
        } else if (arg == "--images") {
            images = number(i, argc, argv);
        } else if (arg == "--seed") {
            seed = number(i, argc, argv);
        } else if (arg == "--control") {
            options.controlAPI = true;
        } else if (arg == "--tls") {
            options.tls = true;
        } else if (arg == "--access-ttl") {
            options.accessTokenLifetime = static_cast<double>(number(i, argc, argv));
        } else if (arg == "--min-version") {
            options.release.minVersion = value(i, argc, argv);
        } else if (arg == "--latest-version") {
            options.release.latestVersion = value(i, argc, argv);
        } else if (arg == "--help" || arg == "-h") {
            usage(0);
        } else {
            std::cerr << "unknown argument: " << arg << "\n";
            usage(2);
        }
    }
    if (generate && !libraryDir.empty()) {
        std::cerr << "--library and --generate exclude each other\n";
        usage(2);
    }
    try {
        Library library = generate ? SyntheticLibrary::generate(*generate, images, static_cast<uint64_t>(seed))
                                   : LibraryLoader::load(libraryDir.empty() ? SampleService::sampleLibraryDir()
                                                                            : std::filesystem::path(libraryDir));
        SampleService service(options, std::move(library));
        service.start();
        std::cout << "quorvel-sample-service listening on " << service.baseURL() << std::endl;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        while (!stopRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        service.stop();
    } catch (const std::exception &e) {
        std::cerr << "quorvel-sample-service: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
