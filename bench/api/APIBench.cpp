#include "api/HTTPAPIClient.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <string>

using namespace quorvel;
using nlohmann::json;

namespace {

// A library of 100,000 documents in 2,000 folders, as the service would send it.
const HTTPResponse &manifestResponse() {
    static const HTTPResponse response = [] {
        json folders = json::array();
        for (int i = 1; i <= 2000; ++i) {
            json folder = {{"id", i}, {"name", "폴더 " + std::to_string(i)}, {"order_num", i % 17}};
            folder["parent_id"] = i > 20 ? json(i / 20) : json(nullptr);
            folders.push_back(std::move(folder));
        }
        json files = json::array();
        for (int i = 1; i <= 100000; ++i) {
            files.push_back({{"id", i},
                             {"folder_id", i % 7 == 0 ? json(nullptr) : json(1 + i % 2000)},
                             {"filename", "회의록 " + std::to_string(i) + ".html"},
                             {"updated_at", "2024-05-01T12:34:56.123Z"},
                             {"file_size", 1000 + i},
                             {"content_hash", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"}});
        }
        json data = {{"server_time", "2024-05-01T12:34:56Z"},
                     {"user", {{"id", 1}, {"email", "a@b.c"}, {"nickname", "김"}}},
                     {"shell_version", "s1"},
                     {"folders", std::move(folders)},
                     {"files", std::move(files)}};
        return HTTPResponse{200, {{"etag", "\"m1\""}}, json{{"success", true}, {"data", std::move(data)}}.dump()};
    }();
    return response;
}

// One files batch: 20 documents of 200 KB of HTML each, with the escapes real markup needs.
const HTTPResponse &filesResponse() {
    static const HTTPResponse response = [] {
        std::string paragraph = "<p class=\"body\">한국어 문단과 English text, \"quotes\" & <b>bold</b>.</p>\n";
        std::string html;
        while (html.size() < 200 * 1024)
            html += paragraph;
        html.resize(200 * 1024);
        while ((static_cast<unsigned char>(html.back()) & 0xC0) == 0x80 ||
               static_cast<unsigned char>(html.back()) >= 0xC0)
            html.pop_back(); // keep the cut on a character boundary
        json docs = json::array();
        for (int i = 1; i <= 20; ++i) {
            docs.push_back({{"id", i},
                            {"content", html},
                            {"content_hash", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"},
                            {"updated_at", "2024-05-01T12:34:56Z"}});
        }
        return HTTPResponse{200, {}, json{{"success", true}, {"data", std::move(docs)}}.dump()};
    }();
    return response;
}

void BM_DecodeManifest100kFiles(benchmark::State &state) {
    const HTTPResponse &response = manifestResponse();
    for (auto _ : state) {
        Manifest manifest = HTTPAPIClient::decodeData<Manifest>(response);
        benchmark::DoNotOptimize(manifest.files.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(response.body.size()));
    state.counters["body_MB"] = static_cast<double>(response.body.size()) / 1e6;
}
BENCHMARK(BM_DecodeManifest100kFiles)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_DecodeFiles20x200KB(benchmark::State &state) {
    const HTTPResponse &response = filesResponse();
    for (auto _ : state) {
        auto files = HTTPAPIClient::decodeData<std::vector<FileContent>>(response);
        benchmark::DoNotOptimize(files.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(response.body.size()));
    state.counters["body_MB"] = static_cast<double>(response.body.size()) / 1e6;
}
BENCHMARK(BM_DecodeFiles20x200KB)->Unit(benchmark::kMillisecond)->MinTime(1);

} // namespace
