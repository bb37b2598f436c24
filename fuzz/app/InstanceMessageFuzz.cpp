#include "model/InstanceMessage.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorvel::app;

// Any local process of the user can write to the single-instance socket. Whatever arrives, reading
// takes whole messages only, and a message that reads back is the one that was sent.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string buffer(reinterpret_cast<const char *>(data), size);
    for (int messages = 0; messages < 8; ++messages) {
        const size_t before = buffer.size();
        bool bad = false;
        auto text = InstanceMessage::decode(buffer, bad);
        if (!text) {
            if (buffer.size() != before && !bad) std::abort(); // an incomplete message is left in place
            break;
        }
        if (text->size() > InstanceMessage::maxBytes) std::abort();
        std::string again = InstanceMessage::encode(*text);
        bool badAgain = false;
        auto back = InstanceMessage::decode(again, badAgain);
        if (!back || *back != *text || !again.empty()) std::abort();
    }
    return 0;
}
