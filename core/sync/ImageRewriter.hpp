#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace quorvel {

// What becomes of one image reference.
struct ImageSourceDownload {
    std::string url; // normalised absolute URL
    bool operator==(const ImageSourceDownload &) const = default;
};
struct ImageSourceKeep {
    bool operator==(const ImageSourceKeep &) const = default;
};
struct ImageSourceRemove {
    bool operator==(const ImageSourceRemove &) const = default;
};
using ImageSourceResolution = std::variant<ImageSourceDownload, ImageSourceKeep, ImageSourceRemove>;

struct ImageRewriteResult {
    std::string html;
    std::vector<std::string> downloads; // distinct, in order of first appearance
    std::vector<std::string> missing;   // downloads without a hash, in order of first appearance
    bool operator==(const ImageRewriteResult &) const = default;
};

// Makes a downloaded document self-contained: every image it shows either points at a
// stored image through the private asset scheme, stays an inline data URI, or is dropped.
class ImageRewriter {
public:
    static constexpr std::string_view assetScheme = "quorvel-asset://";
    static constexpr std::string_view missingToken = "quorvel-asset://missing";

    // Download URL -> lowercase hexadecimal SHA-256 of the stored image.
    using AssetHashes = std::unordered_map<std::string, std::string>;

    explicit ImageRewriter(std::string baseURL);

    const std::string &baseURL() const { return baseURL_; }
    const std::string &originString() const { return originString_; }

    ImageSourceResolution classify(std::string_view src) const;

    // Pure: no I/O, nothing kept between calls.
    ImageRewriteResult rewrite(std::string_view html, const AssetHashes &assetHashes) const;

    // Percent-encodes what a URL may not hold and returns the parsed absolute URL (ASCII only).
    static std::optional<std::string> normalize(std::string_view url);
    static bool isPrivateHost(std::string_view host);
    bool isSameOrigin(std::string_view url) const;

    struct ParsedURL {
        std::string text;   // absolute URL
        std::string scheme; // lowercased
        std::string host;   // lowercased, without IPv6 brackets
        std::optional<int> port;
    };

private:
    bool isSameOrigin(const ParsedURL &url) const;

    std::string baseURL_;
    std::string originString_;
    std::string originScheme_;
    std::string originHost_;
    int originPort_;
};

} // namespace quorvel
