#pragma once

#include "Library.hpp"
#include "ServiceControl.hpp"
#include "ServiceOptions.hpp"

#include <filesystem>
#include <memory>
#include <string>

namespace quorvel::service {

struct ServiceState;

// The sample document service: the API, the link page, images and web pages on 127.0.0.1,
// all state in memory. Tests run it in-process:
//
//     SampleService service({}, LibraryLoader::load(SampleService::sampleLibraryDir()));
//     service.start();                 // returns once it listens on a free port
//     client.baseURL = service.baseURL();
//     service.control().editDocument(3, "<p>바뀐 내용</p>");
//
// stop() (or the destructor) ends it.
class SampleService {
public:
    explicit SampleService(ServiceOptions options = {}, Library library = {});
    ~SampleService();
    SampleService(const SampleService &) = delete;
    SampleService &operator=(const SampleService &) = delete;

    // Throws std::runtime_error when a listener cannot bind.
    void start();
    void stop();
    bool running() const;

    int port() const;
    std::string baseURL() const; // "http://127.0.0.1:<port>"
    // The second plain-HTTP origin serving the same images (empty when disabled).
    std::string alternateOrigin() const;
    // The HTTPS origin and its self-signed certificate in PEM (empty when disabled).
    std::string tlsOrigin() const;
    std::string tlsCertificatePEM() const;

    ServiceControl &control();

    // service/sample-library in the source tree.
    static std::filesystem::path sampleLibraryDir();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quorvel::service
