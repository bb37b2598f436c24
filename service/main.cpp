#include "LibraryLoader.hpp"
#include "SampleService.hpp"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

using namespace quorvel::service;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

[[noreturn]] void usage(int code) {
    std::cerr << "usage: quorvel-sample-service [--port N] [--library DIR | --generate N_DOCS [--images N_IMAGES] "
                 "[--seed S]] [--control] [--tls]\n";
    std::exit(code);
}

long long number(int &i, int argc, char **argv) {
    if (i + 1 >= argc) usage(2);
    try {
        return std::stoll(argv[++i]);
    } catch (const std::exception &) {
        usage(2);
    }
}

} // namespace

int main(int argc, char **argv) {
    ServiceOptions options;
    options.port = 8787;
    std::string libraryDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--port") {
            options.port = static_cast<int>(number(i, argc, argv));
        } else if (arg == "--library") {
            if (i + 1 >= argc) usage(2);
            libraryDir = argv[++i];
        } else if (arg == "--control") {
            options.controlAPI = true;
        } else if (arg == "--tls") {
            options.tls = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(0);
        } else {
            std::cerr << "unknown argument: " << arg << "\n";
            usage(2);
        }
    }
    try {
        Library library = LibraryLoader::load(libraryDir.empty() ? SampleService::sampleLibraryDir()
                                                                 : std::filesystem::path(libraryDir));
        SampleService service(options, std::move(library));
        service.start();
        std::cout << "quorvel-sample-service listening on " << service.baseURL() << std::endl;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        while (!stopRequested)
            pause();
        service.stop();
    } catch (const std::exception &e) {
        std::cerr << "quorvel-sample-service: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
