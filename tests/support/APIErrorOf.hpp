#pragma once

#include "api/APIError.hpp"

#include <gtest/gtest.h>

namespace quorvel::test {

// The APIError the body throws; fails the test when it throws none.
template <class Body>
APIError apiErrorOf(Body &&body) {
    try {
        body();
    } catch (const APIError &error) {
        return error;
    }
    ADD_FAILURE() << "no APIError was thrown";
    return APIError::decoding("no error");
}

} // namespace quorvel::test
