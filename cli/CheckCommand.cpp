#include "CliCommands.hpp"

#include "store/LibraryCheck.hpp"

#include <nlohmann/json.hpp>

#include <ostream>

namespace quorvel::cli {

namespace {

constexpr int damageFound = 4;

void listLines(std::ostream &out, const char *label, const std::vector<std::string> &items) {
    for (const auto &item : items)
        out << "  " << label << item << "\n";
}

} // namespace

int runCheck(CliSession &session, const CliOptions &options, CliStreams &io) {
    // Nothing on the standard output before the answer, which scripts read.
    const LibraryCheckReport report = LibraryCheck::run(session.store(), {}, [&](LibraryCheck::Step step) {
        io.err << (step == LibraryCheck::Step::database ? "checking the database…" : "checking the images…")
               << std::endl;
    });
    if (options.json) {
        nlohmann::json j = {
            {"sound", report.isSound()},
            {"database", {{"ok", report.databaseProblems.empty()}, {"problems", report.databaseProblems}}},
            {"images",
             {{"checked", report.imagesChecked}, {"altered", report.alteredImages}, {"missing", report.missingImages}}},
            {"documents_to_repair", report.documentsToRepair}};
        io.out << j.dump(2) << "\n";
        return report.isSound() ? 0 : damageFound;
    }
    if (report.databaseProblems.empty()) {
        io.out << "database: ok\n";
    } else {
        io.out << "database: damaged; the next sync downloads the whole library again\n";
        listLines(io.out, "", report.databaseProblems);
        return damageFound;
    }
    io.out << "images: " << report.imagesChecked << " checked, " << report.alteredImages.size() << " altered, "
           << report.missingImages.size() << " missing\n";
    listLines(io.out, "altered ", report.alteredImages);
    listLines(io.out, "missing ", report.missingImages);
    if (!report.documentsToRepair.empty()) {
        io.out << "the next sync downloads the images of " << report.documentsToRepair.size() << " document(s) again:";
        for (int64_t id : report.documentsToRepair)
            io.out << " " << id;
        io.out << "\n";
    }
    return report.isSound() ? 0 : damageFound;
}

} // namespace quorvel::cli
