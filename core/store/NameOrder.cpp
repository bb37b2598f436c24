#include "store/NameOrder.hpp"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include <cstring>
#include <memory>

namespace quorvel::NameOrder {

namespace {

std::unique_ptr<icu::Collator> makeCollator() {
    icu::Locale locale = icu::Locale::getDefault();
    // The POSIX locale's collation orders ASCII by code point (upper case first); a process
    // started without a locale should still sort like a file browser, so it gets the root order.
    if (std::strcmp(locale.getVariant(), "POSIX") == 0 || std::strlen(locale.getLanguage()) == 0)
        locale = icu::Locale::getRoot();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) return nullptr;
    // Secondary strength ignores case but still tells accents apart.
    collator->setStrength(icu::Collator::SECONDARY);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status)) return nullptr;
    return collator;
}

// Built once: collator construction costs far more than a comparison. Comparing is a const
// operation, which ICU allows from several threads at once.
const icu::Collator *collator() {
    static const std::unique_ptr<icu::Collator> instance = makeCollator();
    return instance.get();
}

} // namespace

int compare(std::string_view a, std::string_view b) {
    if (auto c = collator()) {
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult r = c->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status)) return r;
    }
    return a.compare(b);
}

} // namespace quorvel::NameOrder
