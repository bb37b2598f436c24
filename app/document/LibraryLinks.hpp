#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::app {

// Where a link in a shown document leads.
struct LinkTarget {
    enum class Kind {
        document, // a document of the library, by its address on the service
        anchor,   // a place in the page shown
        mail,     // a mailto: address
        web,      // any other http or https address, the service's other pages included
        other,    // any other scheme, or no URL at all
    };
    Kind kind = Kind::other;
    int64_t documentID = 0; // for `document`
    std::string fragment;   // for `document`: what follows "#", as written (percent-encoded); empty if none
    bool operator==(const LinkTarget &) const = default;
};

// Tells the links that name documents of the library: on the service's origin (the base URL's
// scheme, host and port, the port a scheme's default when not written) with the base URL's path,
// one of `documentPaths`, a decimal document id and nothing else but a fragment. Anything the
// reading is unsure of (user info, a query, escapes it does not know, control characters) names
// no document: such a link leaves the app like any other web link.
class LibraryLinks {
public:
    // The forms the service's own pages use for a document.
    static constexpr std::array<std::string_view, 2> documentPaths = {"/docs/", "/editor/"};

    // A base URL that is not an absolute http or https URL without user info, query or fragment
    // names no documents.
    explicit LibraryLinks(std::string_view baseURL = {});

    bool knowsDocuments() const { return base_.has_value(); }

    // `url` is the absolute URL the engine hands over for the link; `pageURL` that of the page shown.
    LinkTarget classify(std::string_view url, std::string_view pageURL) const;

private:
    struct Address {
        std::string scheme; // lower case
        std::string host;   // lower case, international names in their ASCII form
        std::string port;   // decimal, the scheme's default when none is written
        std::string path;   // dot segments resolved
        std::string fragment;
        bool extra = false; // user info, a query or a zone: not a plain address
    };
    static std::optional<Address> parse(std::string_view url);
    std::optional<int64_t> documentIn(const Address &address) const;

    std::optional<Address> base_; // its path without trailing "/"
};

} // namespace quorvel::app
