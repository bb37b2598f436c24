#pragma once

#include <exception>
#include <string>

namespace quorvel {

// Why one image could not be downloaded.
class AssetFetchError : public std::exception {
public:
    enum class Kind { badStatus, network, tooLarge, empty, cancelled };

    static AssetFetchError badStatus(int status);
    static AssetFetchError network(std::string message);
    static AssetFetchError tooLarge() { return AssetFetchError(Kind::tooLarge); }
    static AssetFetchError empty() { return AssetFetchError(Kind::empty); }
    static AssetFetchError cancelled() { return AssetFetchError(Kind::cancelled); }

    Kind kind;
    int status = 0;      // badStatus only
    std::string message; // network only

    const char *what() const noexcept override { return text_.c_str(); }
    bool operator==(const AssetFetchError &o) const {
        return kind == o.kind && status == o.status && message == o.message;
    }

private:
    explicit AssetFetchError(Kind k, int s = 0, std::string m = {});
    std::string text_;
};

} // namespace quorvel
