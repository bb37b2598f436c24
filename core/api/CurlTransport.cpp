#include "api/CurlTransport.hpp"

#include "api/APIError.hpp"
#include "api/CurlGlobal.hpp"
#include "api/TransferLimits.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <stop_token>
#include <vector>

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double defaultTimeout = 30;

// Everything one transfer's callbacks touch.
struct Transfer {
    HTTPResponse response;
    std::string lastHeader;
    size_t maxBytes = 0;
    bool tooLarge = false;
    std::stop_token stop;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t downloaded = 0;
    curl_off_t uploaded = 0;
};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string_view trim(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

size_t onBody(char *data, size_t size, size_t count, void *user) {
    auto *transfer = static_cast<Transfer *>(user);
    size_t bytes = size * count;
    transfer->lastActivity = Clock::now();
    if (transfer->response.body.size() + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0; // aborts with CURLE_WRITE_ERROR
    }
    transfer->response.body.append(data, bytes);
    return bytes;
}

// One header line per call, for every response on the way (redirects, interim 1xx): a status line
// starts the header map afresh so only the final response's fields remain.
size_t onHeader(char *data, size_t size, size_t count, void *user) {
    auto *transfer = static_cast<Transfer *>(user);
    size_t bytes = size * count;
    transfer->lastActivity = Clock::now();
    std::string_view line(data, bytes);
    auto &headers = transfer->response.headers;
    if (line.starts_with("HTTP/")) {
        headers.clear();
        transfer->lastHeader.clear();
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        // An obsolete folded continuation of the previous field.
        auto it = headers.find(transfer->lastHeader);
        std::string_view more = trim(line);
        if (it != headers.end() && !more.empty()) {
            if (!it->second.empty()) it->second += ' ';
            it->second += more;
        }
    } else if (auto colon = line.find(':'); colon != std::string_view::npos && colon > 0) {
        std::string name = lowercase(std::string(trim(line.substr(0, colon))));
        headers[name] = std::string(trim(line.substr(colon + 1)));
        transfer->lastHeader = std::move(name);
    }
    return bytes;
}

int onProgress(void *user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto *transfer = static_cast<Transfer *>(user);
    if (downloaded != transfer->downloaded || uploaded != transfer->uploaded) {
        transfer->downloaded = downloaded;
        transfer->uploaded = uploaded;
        transfer->lastActivity = Clock::now();
    }
    return transfer->stop.stop_requested() ? 1 : 0;
}

// Header lines must not smuggle extra lines or fields into the request.
std::string clean(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n' && c != '\0') out.push_back(c);
    }
    return out;
}

struct HeaderList {
    curl_slist *list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void add(const std::string &line) {
        curl_slist *grown = curl_slist_append(list, line.c_str());
        if (!grown) throw std::bad_alloc();
        list = grown;
    }
};

} // namespace

// DNS answers and TLS sessions shared by every slot, under one lock per kind of data.
struct CurlTransport::Shared {
    CURLSH *share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    std::mutex poolLock;
    std::vector<std::unique_ptr<Slot>> idle;

    Shared() {
        share = curl_share_init();
        if (!share) throw std::bad_alloc();
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Shared::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~Shared() {
        idle.clear(); // every easy handle lets go of the share before it goes
        curl_share_cleanup(share);
    }
    static void lock(CURL *, curl_lock_data data, curl_lock_access, void *user) {
        static_cast<Shared *>(user)->locks[static_cast<size_t>(data)].lock();
    }
    static void unlock(CURL *, curl_lock_data data, void *user) {
        static_cast<Shared *>(user)->locks[static_cast<size_t>(data)].unlock();
    }
};

// One transfer at a time: an easy handle driven by its own multi handle, whose connection cache keeps
// connections open for the slot's next request.
struct CurlTransport::Slot {
    CURLM *multi = nullptr;
    CURL *easy = nullptr;

    Slot() {
        multi = curl_multi_init();
        easy = curl_easy_init();
        if (!multi || !easy) {
            cleanup();
            throw std::bad_alloc();
        }
    }
    ~Slot() { cleanup(); }
    Slot(const Slot &) = delete;
    Slot &operator=(const Slot &) = delete;

    void cleanup() {
        if (multi) curl_multi_cleanup(multi);
        if (easy) curl_easy_cleanup(easy);
        multi = nullptr;
        easy = nullptr;
    }
};

CurlTransport::CurlTransport() : CurlTransport(Options{}) {}

CurlTransport::CurlTransport(Options options) : options_(options) {
    ensureCurlGlobalInit();
    shared_ = std::make_unique<Shared>();
}

CurlTransport::~CurlTransport() = default;

std::unique_ptr<CurlTransport::Slot> CurlTransport::takeSlot() {
    {
        std::lock_guard lock(shared_->poolLock);
        if (!shared_->idle.empty()) {
            auto slot = std::move(shared_->idle.back());
            shared_->idle.pop_back();
            return slot;
        }
    }
    return std::make_unique<Slot>();
}

void CurlTransport::returnSlot(std::unique_ptr<Slot> slot) {
    std::lock_guard lock(shared_->poolLock);
    if (shared_->idle.size() < options_.maxIdleSlots) shared_->idle.push_back(std::move(slot));
}

HTTPResponse CurlTransport::send(const HTTPRequest &request, std::stop_token stop) {
    if (stop.stop_requested()) throw APIError::cancelled();

    double timeoutSeconds = std::isfinite(request.timeout) && request.timeout > 0 ? request.timeout : defaultTimeout;
    auto idleLimit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));

    Transfer transfer;
    transfer.maxBytes = options_.maxResponseBytes;
    transfer.stop = stop;

    HeaderList headers;
    bool hasContentType = false;
    for (const auto &[name, value] : request.headers) {
        std::string cleanName = clean(name);
        if (cleanName.empty() || cleanName.find(':') != std::string::npos) continue;
        if (lowercase(cleanName) == "content-type") hasContentType = true;
        std::string cleanValue = clean(value);
        // "Name;" is libcurl's spelling of a field with an empty value ("Name:" would remove it).
        headers.add(cleanValue.empty() ? cleanName + ";" : cleanName + ": " + cleanValue);
    }
    headers.add("Expect:"); // no 100-continue round trip before a body
    if (request.body && !hasContentType) headers.add("Content-Type:");

    std::unique_ptr<Slot> slot = takeSlot();
    CURL *easy = slot->easy;
    CURLM *multi = slot->multi;
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_SHARE, shared_->share);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeoutSeconds * 1000, 3.6e6)));
    // Bytes trickling in keep the idle check below quiet; a rate floor and a hard ceiling end such a
    // transfer all the same.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, TransferLimits::minimumBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, TransferLimits::lowSpeedSeconds(timeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, TransferLimits::hardCeilingSeconds);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    if (request.method == "GET" && !request.body) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD" && !request.body) {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (request.body || request.method == "POST") {
            const std::string empty;
            const std::string &body = request.body ? *request.body : empty;
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
        }
        if (request.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        returnSlot(std::move(slot));
        throw APIError::network("could not start the transfer");
    }

    enum class Ending { done, cancelled, timedOut, failed };
    Ending ending = Ending::done;
    std::string failure;
    CURLcode result = CURLE_OK;
    {
        // Wakes the poll below at once; the callback has finished running when this is destroyed.
        std::stop_callback wake(stop, [multi] { curl_multi_wakeup(multi); });
        transfer.lastActivity = Clock::now();
        for (;;) {
            int running = 0;
            CURLMcode code = curl_multi_perform(multi, &running);
            if (code != CURLM_OK) {
                ending = Ending::failed;
                failure = curl_multi_strerror(code);
                break;
            }
            if (stop.stop_requested()) {
                ending = Ending::cancelled;
                break;
            }
            if (running == 0) {
                int queued = 0;
                while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
                    if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
                }
                break;
            }
            auto idleFor = Clock::now() - transfer.lastActivity;
            if (idleFor >= idleLimit) {
                ending = Ending::timedOut;
                break;
            }
            auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit - idleFor).count() + 1;
            code = curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::min<long long>(remaining, 1000)), nullptr);
            if (code != CURLM_OK) {
                ending = Ending::failed;
                failure = curl_multi_strerror(code);
                break;
            }
        }
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi, easy);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    returnSlot(std::move(slot));

    switch (ending) {
    case Ending::cancelled:
        throw APIError::cancelled();
    case Ending::timedOut:
        throw APIError::network(curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    case Ending::failed:
        throw APIError::network(failure);
    case Ending::done:
        break;
    }
    if (result == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested()) throw APIError::cancelled();
    if (result == CURLE_WRITE_ERROR && transfer.tooLarge) throw APIError::network("response too large");
    if (result != CURLE_OK) throw APIError::network(errorText[0] ? errorText : curl_easy_strerror(result));
    if (status < 100) throw APIError::network("non-HTTP response");
    transfer.response.status = static_cast<int>(status);
    return std::move(transfer.response);
}

} // namespace quorvel
