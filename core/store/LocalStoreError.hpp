#pragma once

#include <exception>

namespace quorvel {

class LocalStoreError : public std::exception {
public:
    enum class Kind { notOpen };
    explicit LocalStoreError(Kind k = Kind::notOpen) : kind(k) {}
    static LocalStoreError notOpen() { return LocalStoreError(Kind::notOpen); }

    Kind kind;
    const char *what() const noexcept override { return "local store is not open"; }
    bool operator==(const LocalStoreError &o) const { return kind == o.kind; }
};

} // namespace quorvel
