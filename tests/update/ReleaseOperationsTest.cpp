#include "update/ReleaseOperations.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {
AppRelease withNotes(std::string notes) {
    AppRelease r;
    r.latestVersion = "1.0.0";
    r.releaseNotes = std::move(notes);
    return r;
}
std::string repeat(const std::string &piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}
} // namespace

TEST(ReleaseOperations, TrimmedNotes) {
    const std::string korean600 = repeat("가", 600);
    const std::tuple<std::string, int, std::string> cases[] = {
        {"\n  고친 점\n\n", 600, "고친 점"},
        {korean600, 600, korean600},
        {"  " + korean600 + "\n", 600, korean600}, // the limit applies after trimming
        {korean600 + "나", 600, korean600 + "…"},
        {repeat("a", 599) + " b", 600, repeat("a", 599) + "…"}, // the cut is trimmed again
        // A letter with its combining mark, and a flag, are one character each.
        {"e\u0301e\u0301e\u0301", 2, "e\u0301e\u0301…"},
        {"\U0001F1F0\U0001F1F7\U0001F1F0\U0001F1F7", 1, "\U0001F1F0\U0001F1F7…"},
        {"abc", 0, "abc"},
        {"abc", -1, "abc"},
        {" \u3000 ", 600, ""},
    };
    for (const auto &[notes, maxLength, expected] : cases)
        EXPECT_EQ(trimmedNotes(withNotes(notes), maxLength), expected) << notes.substr(0, 40);
}

TEST(ReleaseOperations, PreferredDownloadURL) {
    const std::string web = "https://docs.example.com/";
    const std::string devWeb = "http://127.0.0.1:8787";
    // The release's download page and file, the service's own address, what to open.
    const std::tuple<std::string, std::string, std::string, std::optional<std::string>> cases[] = {
        {"https://docs.example.com/download", "https://cdn.example.com/q.deb", web,
         "https://docs.example.com/download"},
        {"", "https://cdn.example.com/q.deb", web, "https://cdn.example.com/q.deb"},
        {"http://evil.example/", "https://cdn.example.com/q.deb", web, "https://cdn.example.com/q.deb"},
        {"javascript:alert(1)", "file:///etc/passwd", web, web},
        {"not a url", "https://", web, web},
        {"", "", web, web},
        {"", "", "", std::nullopt},
        {"", "", "ftp://docs.example.com/", std::nullopt},
        // The development service speaks http: its own origin is trusted, another port is not.
        {"http://127.0.0.1:8787/download", "", devWeb, "http://127.0.0.1:8787/download"},
        {"http://127.0.0.1:9999/download", "", devWeb, "http://127.0.0.1:8787/"},
        {"HTTP://Docs.Example.com:443/x", "", web, web}, // plain http on the service host is still refused
    };
    for (const auto &[page, url, service, expected] : cases) {
        AppRelease r;
        r.downloadPage = page;
        r.downloadURL = url;
        EXPECT_EQ(preferredDownloadURL(r, service), expected) << page << " | " << url << " | " << service;
    }
}
