#include "CliProcess.hpp"

#include "SampleService.hpp"
#include "store/LocalStore.hpp"
#include "support/StoreDamage.hpp"
#include "support/TempDir.hpp"
#include "util/Hashing.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <regex>

using namespace quorvel;
using namespace quorvel::test;
namespace fs = std::filesystem;

namespace {

std::string picture(char fill) {
    return std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, fill);
}

// A linked and synced library of three documents with an image each, damaged in each test the
// way disks, other programs and clean-ups do; quorvel-cli runs as a process of its own.
class CliDamage : public ::testing::Test {
protected:
    void SetUp() override {
        service::Library lib;
        for (char c : std::string("abc")) {
            const std::string path = std::string("/images/") + c + ".png", bytes = picture(c);
            lib.putImage(path, service::LibraryImage{"image/png", [bytes] { return bytes; }});
            lib.addDocument(std::string("문서 ") + c, std::nullopt, "<p>본문</p><img src=\"" + path + "\">",
                            1714550400);
        }
        service_ = std::make_unique<service::SampleService>(service::ServiceOptions{}, std::move(lib));
        service_->start();
        CliProcess link(cli({"link"}));
        std::smatch m;
        std::string url = link.readLine();
        ASSERT_TRUE(std::regex_search(url, m, std::regex("challenge=([^&]+)&state=([^&]+)"))) << url;
        link.write("quorvel://link?state=" + m[2].str() + "&code=" + service_->control().approveLink(m[1], "test") +
                   "\n");
        ASSERT_EQ(link.wait(), 0) << link.err;
        ASSERT_EQ(run({"sync"}).out, "updated fetched=3 meta=0 deleted=0 skipped=0\n");
    }

    std::vector<std::string> cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--store", store_.path().string(), "--base-url", service_->baseURL()});
        return args;
    }
    CliProcess::Result run(std::vector<std::string> args) { return CliProcess::run(cli(std::move(args))); }
    fs::path database() const { return store_ / LocalStore::databaseFileName; }
    fs::path image(char c) const { return store_ / "assets" / Hashing::sha256Hex(std::string_view(picture(c))); }

    TempDir store_{"quorvel-cli-damage"};
    std::unique_ptr<service::SampleService> service_;
};

} // namespace

// Pages overwritten in the middle of the database, or a file of other bytes: the next sync
// rebuilds the library instead of calling it up to date, keeps the damage aside, and the user
// stays signed in.
TEST_F(CliDamage, TheNextSyncRebuildsADamagedDatabase) {
    const std::function<void()> damages[] = {
        [&] { damageTable(database(), "files"); },
        [&] { writeFile(database(), std::string(50000, '\x3c')); },
    };
    for (const auto &damage : damages) {
        damage();
        const std::string damaged = readFile(database());
        auto sync = run({"sync"});
        EXPECT_EQ(sync.status, 0) << sync.err;
        EXPECT_EQ(sync.out, "updated fetched=3 meta=0 deleted=0 skipped=0\n");
        EXPECT_NE(sync.err.find("The library was damaged"), std::string::npos) << sync.err;
        EXPECT_EQ(readFile(store_ / LocalStore::damagedCopyName), damaged);
        auto tree = run({"tree"});
        EXPECT_NE(tree.out.find("문서 b"), std::string::npos) << tree.err;
        EXPECT_EQ(run({"sync"}).out, "up-to-date\n");
    }
}

// An image altered on disk and another deleted: check reports both and exits 4; the next sync
// downloads exactly those two, and the documents show them again.
TEST_F(CliDamage, CheckFindsDamagedImagesAndTheNextSyncFetchesThem) {
    writeFile(image('a'), "another picture");
    fs::remove(image('b'));
    auto check = run({"check", "--json"});
    EXPECT_EQ(check.status, 4) << check.err;
    auto report = nlohmann::json::parse(check.out);
    EXPECT_EQ(report["sound"], false);
    EXPECT_EQ(report["database"]["ok"], true);
    EXPECT_EQ(report["images"]["altered"], nlohmann::json::array({image('a').filename().string()}));
    EXPECT_EQ(report["images"]["missing"], nlohmann::json::array({image('b').filename().string()}));
    EXPECT_EQ(report["documents_to_repair"].size(), 2u);

    service_->control().resetCounters();
    EXPECT_EQ(run({"sync"}).out, "updated fetched=0 meta=0 deleted=0 skipped=0\n");
    EXPECT_EQ(service_->control().requestCount("files"), 0);
    EXPECT_EQ(service_->control().imageRequestCount("/images/a.png"), 1);
    EXPECT_EQ(service_->control().imageRequestCount("/images/b.png"), 1);
    EXPECT_EQ(service_->control().imageRequestCount("/images/c.png"), 0);
    EXPECT_EQ(readFile(image('a')), picture('a'));
    EXPECT_EQ(readFile(image('b')), picture('b'));
    for (int64_t id : report["documents_to_repair"]) {
        auto html = run({"show", std::to_string(id), "--html"}).out;
        EXPECT_EQ(html.find("quorvel-asset://missing"), std::string::npos) << html;
    }
    auto again = run({"check"});
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(again.out, "database: ok\nimages: 3 checked, 0 altered, 0 missing\n");
}
