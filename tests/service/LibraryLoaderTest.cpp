#include "LibraryLoader.hpp"
#include "SampleService.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>

using namespace quorvel::service;

namespace {

TEST(LibraryLoader, ReadsOrderTitlesAndAssetFolders) {
    quorvel::test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "b" / "inner");
    std::filesystem::create_directories(dir.path() / "a");
    std::filesystem::create_directories(dir.path() / "_assets");
    quorvel::test::writeFile(dir / "_order.txt", "b\n\nz.html\n");
    quorvel::test::writeFile(dir / "z.html", "<p>z</p>");
    quorvel::test::writeFile(dir / "y.html", "<title>  제목 있음 </title><p>y</p>");
    quorvel::test::writeFile(dir.path() / "b" / "inner" / "deep.html", "<p>deep</p>");
    quorvel::test::writeFile(dir.path() / "_assets" / "p.png", "PNGDATA");
    quorvel::test::writeFile(dir.path() / "b" / "pic.JPG", "JPEGDATA");
    quorvel::test::writeFile(dir.path() / "b" / "notes.txt", "ignored");
    quorvel::test::writeFile(dir / "_shell.html", "<html>{{CONTENT}}</html>");
    quorvel::test::writeFile(dir / "_updated.txt", "b/inner/deep.html\t2024-05-01T12:00:00Z\nnope\ny.html\tgarbage\n");

    Library lib = LibraryLoader::load(dir.path());
    ASSERT_EQ(lib.folders().size(), 3u);
    std::map<std::string, LibraryFolder> byName;
    for (const auto &[id, f] : lib.folders())
        byName[f.name] = f;
    EXPECT_EQ(byName.at("b").orderNum, 0);
    EXPECT_EQ(byName.at("a").orderNum, 1);
    EXPECT_EQ(byName.at("inner").parentId, byName.at("b").id);
    std::set<std::string> names;
    for (const auto &[id, d] : lib.documents())
        names.insert(d.filename);
    EXPECT_EQ(names, (std::set<std::string>{"z", "제목 있음", "deep"}));
    for (const auto &[id, d] : lib.documents()) {
        if (d.filename == "deep")
            EXPECT_EQ(d.updatedAt, 1714564800);
        else
            EXPECT_GT(d.updatedAt, 1714564800) << "an unreadable time falls back to the file's";
    }
    ASSERT_NE(lib.image("/images/_assets/p.png"), nullptr);
    EXPECT_EQ(lib.image("/images/_assets/p.png")->bytes(), "PNGDATA");
    ASSERT_NE(lib.image("/images/b/pic.JPG"), nullptr);
    EXPECT_EQ(lib.image("/images/b/pic.JPG")->contentType, "image/jpeg");
    EXPECT_EQ(lib.imageCount(), 2u);
    EXPECT_EQ(lib.shell().html, "<html>{{CONTENT}}</html>");
    EXPECT_THROW(LibraryLoader::load(dir / "missing"), LibraryError);
}

// Every link between sample documents names one of them, in both forms, except the one left
// deliberately pointing at a deleted document; a fragment names an id its target holds.
TEST(SampleLibrary, DocumentsLinkToEachOtherByTheirServiceAddress) {
    SampleService service({}, LibraryLoader::load(SampleService::sampleLibraryDir()));
    service.start();
    const std::regex link("href=\"" + service.baseURL() + "/(docs|editor)/([0-9]+)(?:#([^\"]*))?\"");
    std::set<std::string> forms, dangling;
    int fragments = 0;
    service.control().withLibrary([&](const Library &lib) {
        for (const auto &[id, d] : lib.documents()) {
            for (auto it = std::sregex_iterator(d.content.begin(), d.content.end(), link); it != std::sregex_iterator();
                 ++it) {
                forms.insert((*it)[1].str());
                const LibraryDocument *target = lib.document(std::stoll((*it)[2].str()));
                if (!target) dangling.insert((*it)[2].str());
                if (target && (*it)[3].matched) {
                    EXPECT_NE(target->content.find("id=\"" + (*it)[3].str() + "\""), std::string::npos);
                    ++fragments;
                }
            }
        }
        return 0;
    });
    EXPECT_EQ(forms, (std::set<std::string>{"docs", "editor"}));
    EXPECT_EQ(dangling, std::set<std::string>{"9999"});
    EXPECT_GE(fragments, 1);
}

// The sample library shows the ids filled in; a path that names no document fails the load.
TEST(LibraryLoader, DocumentIdsNameExistingDocuments) {
    quorvel::test::TempDir dir;
    quorvel::test::writeFile(dir / "a.html", "<a href=\"/docs/{{ID:a.html}}\">a</a>{{ID:none.html}}");
    EXPECT_THROW(LibraryLoader::load(dir.path()), LibraryError);
}

TEST(LibraryLoader, OriginsAreFilledInOnceTheServiceListens) {
    quorvel::test::TempDir dir;
    quorvel::test::writeFile(dir / "d.html",
                             "<img src=\"{{ORIGIN}}/images/x.png\"><img src=\"{{ALT_ORIGIN}}/images/x.png\">");
    SampleService service({}, LibraryLoader::load(dir.path()));
    service.start();
    auto content = service.control().withLibrary([](const Library &l) { return l.document(1)->content; });
    EXPECT_EQ(content, "<img src=\"" + service.baseURL() + "/images/x.png\"><img src=\"" + service.alternateOrigin() +
                           "/images/x.png\">");
    auto hash = service.control().withLibrary([](const Library &l) { return l.document(1)->contentHash; });
    EXPECT_EQ(hash, Library::contentHash(content));
}

} // namespace
