#include "SyntheticLibrary.hpp"

#include "ImageSynth.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace quorvel::service {

namespace {

// splitmix64: exact and the same everywhere, unlike the standard distributions.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    int64_t range(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    template <typename T, size_t N>
    const T &pick(const std::array<T, N> &items) {
        return items[static_cast<size_t>(next() % N)];
    }

private:
    uint64_t state_;
};

const std::array<const char *, 24> kKoreanWords{"보고서", "회의", "계획", "분석", "고객",     "매출", "일정", "검토",
                                                "개선",   "결과", "목표", "자료", "프로젝트", "요약", "정리", "지표",
                                                "서비스", "품질", "예산", "출시", "문서",     "팀",   "기록", "제안"};
const std::array<const char *, 16> kKoreanSentences{"이번 분기에는 고객 만족도를 높이는 데 집중했어요.",
                                                    "다음 회의까지 자료를 정리해서 공유해 주세요.",
                                                    "예산은 지난해보다 조금 늘었지만 아직 여유가 있어요.",
                                                    "출시 일정은 품질 검토가 끝난 뒤에 다시 정해요.",
                                                    "지표를 보면 신규 사용자가 꾸준히 늘고 있어요.",
                                                    "문서마다 작성자와 날짜를 꼭 적어 주세요.",
                                                    "현장에서 받은 의견을 모아 개선 목록을 만들었어요.",
                                                    "작은 변경이라도 테스트를 거친 뒤에 배포해요.",
                                                    "팀원들의 일정이 겹치지 않도록 조율했어요.",
                                                    "다음 단계는 사용자 인터뷰를 다시 해 보는 거예요.",
                                                    "비용을 줄이면서도 서비스 품질은 지켜야 해요.",
                                                    "회의 결과는 오늘 안에 공유할게요.",
                                                    "새 기능은 먼저 일부 사용자에게만 열어 볼 계획이에요.",
                                                    "데이터가 부족한 부분은 추가로 조사가 필요해요.",
                                                    "목표를 숫자로 정해 두면 진행 상황을 보기 쉬워요.",
                                                    "지난번 장애 이후로 모니터링을 강화했어요."};
const std::array<const char *, 12> kEnglishSentences{
    "The rollout will start with ten percent of users.",  "Latency improved after the cache was warmed up.",
    "Please review the attached numbers before Friday.",  "We agreed to revisit the pricing model next quarter.",
    "Most of the feedback was about search speed.",       "The migration finished without any data loss.",
    "Customer interviews confirmed the main hypothesis.", "Backups are verified every night at 3 a.m.",
    "The new dashboard shows weekly active users.",       "Support tickets dropped by a fifth in May.",
    "Offline reading was the most requested feature.",    "Design review notes are linked below."};
const std::array<const char *, 10> kFolderNames{"업무",   "개인",   "프로젝트", "Archive", "Research",
                                                "보고서", "회의록", "Design",   "노트",    "Clients"};

// Most documents are small, a few are large: roughly log-normal between 1 KB and 400 KB.
int64_t documentSize(Random &rng) {
    double u = rng.unit();
    if (u < 0.70) return rng.range(1500, 20000);
    if (u < 0.95) return rng.range(20000, 100000);
    return rng.range(100000, 400000);
}

int64_t imageSize(Random &rng) {
    double u = rng.unit();
    if (u < 0.70) return rng.range(4000, 60000);
    if (u < 0.95) return rng.range(60000, 300000);
    return rng.range(300000, 1500000);
}

// A few images are everywhere (logos), most are used once or twice.
int64_t sharedImage(Random &rng, int64_t images) {
    double u = rng.unit();
    return std::min(images - 1, static_cast<int64_t>(std::pow(u, 3.0) * static_cast<double>(images)));
}

std::string paragraph(Random &rng) {
    std::string p = "<p>";
    int64_t n = rng.range(2, 6);
    for (int64_t i = 0; i < n; ++i) {
        if (i) p += ' ';
        p += rng.unit() < 0.75 ? rng.pick(kKoreanSentences) : rng.pick(kEnglishSentences);
    }
    return p + "</p>\n";
}

std::string block(Random &rng, int64_t images) {
    double u = rng.unit();
    if (u < 0.55) return paragraph(rng);
    if (u < 0.70) {
        std::string h = "<h2>";
        h += rng.pick(kKoreanWords);
        h += ' ';
        h += rng.pick(kKoreanWords);
        return h + "</h2>\n";
    }
    if (u < 0.80) {
        std::string l = "<ul>\n";
        for (int64_t i = rng.range(2, 6); i > 0; --i)
            l += std::string("  <li>") + rng.pick(kKoreanSentences) + "</li>\n";
        return l + "</ul>\n";
    }
    if (u < 0.88) {
        std::string t = "<table>\n<tr><th>항목</th><th>값</th><th>비고</th></tr>\n";
        for (int64_t i = rng.range(2, 8); i > 0; --i)
            t += std::string("<tr><td>") + rng.pick(kKoreanWords) + "</td><td>" + std::to_string(rng.range(1, 9999)) +
                 "</td><td>" + rng.pick(kEnglishSentences) + "</td></tr>\n";
        return t + "</table>\n";
    }
    if (u < 0.93)
        return "<pre><code>for (int i = 0; i &lt; " + std::to_string(rng.range(2, 100)) +
               "; ++i) {\n    sync(i);\n}</code></pre>\n";
    if (images == 0) return paragraph(rng);
    int64_t index = sharedImage(rng, images);
    if (rng.unit() < 0.8)
        return "<p><img src=\"" + SyntheticLibrary::imagePath(index) + "\" alt=\"그림 " + std::to_string(index) +
               "\"></p>\n";
    return "<div style=\"background-image: url('" + SyntheticLibrary::imagePath(index) +
           "'); min-height: 120px\"></div>\n";
}

} // namespace

std::string SyntheticLibrary::imagePath(int64_t index) {
    static const std::array<const char *, 10> kinds{"png", "png", "png", "png", "png",
                                                    "png", "jpg", "jpg", "jpg", "svg"};
    char name[64];
    std::snprintf(name, sizeof name, "/images/synthetic/img-%06lld.%s", static_cast<long long>(index),
                  kinds[static_cast<size_t>(index % 10)]);
    return name;
}

Library SyntheticLibrary::generate(int64_t documents, int64_t images, uint64_t seed) {
    Library lib;
    Random rng(seed);
    documents = std::max<int64_t>(0, documents);
    images = std::max<int64_t>(0, images);

    // Folders: about one per eight documents, up to three levels deep.
    std::vector<int64_t> folders;
    std::vector<int> depth;
    int64_t folderCount = std::max<int64_t>(documents > 0 ? 1 : 0, documents / 8);
    for (int64_t i = 0; i < folderCount; ++i) {
        std::optional<int64_t> parent;
        int d = 1;
        if (!folders.empty() && rng.unit() < 0.6) {
            size_t at = static_cast<size_t>(rng.next() % folders.size());
            if (depth[at] < 3) {
                parent = folders[at];
                d = depth[at] + 1;
            }
        }
        std::string name = std::string(rng.pick(kFolderNames)) + " " + std::to_string(i + 1);
        folders.push_back(lib.addFolder(name, parent));
        depth.push_back(d);
    }

    const double start = 1704067200; // 2024-01-01
    for (int64_t i = 0; i < documents; ++i) {
        int64_t target = documentSize(rng);
        std::string title =
            std::string(rng.pick(kKoreanWords)) + " " + rng.pick(kKoreanWords) + " " + std::to_string(i + 1);
        std::string content = "<h1>" + title + "</h1>\n";
        while (static_cast<int64_t>(content.size()) < target)
            content += block(rng, images);
        std::optional<int64_t> folder;
        if (!folders.empty() && rng.unit() < 0.9) folder = folders[static_cast<size_t>(rng.next() % folders.size())];
        lib.addDocument(title, folder, std::move(content), start + static_cast<double>(rng.range(0, 365 * 86400)));
    }

    for (int64_t i = 0; i < images; ++i) {
        int64_t size = imageSize(rng);
        uint64_t imageSeed = seed * 1000003u + static_cast<uint64_t>(i);
        std::string path = imagePath(i);
        std::string ext = path.substr(path.rfind('.') + 1);
        if (ext == "png")
            lib.putImage(path,
                         LibraryImage{"image/png", [imageSeed, size] { return ImageSynth::png(imageSeed, size); }});
        else if (ext == "jpg")
            lib.putImage(path,
                         LibraryImage{"image/jpeg", [imageSeed, size] { return ImageSynth::jpeg(imageSeed, size); }});
        else
            lib.putImage(path, LibraryImage{"image/svg+xml",
                                            [imageSeed, size] { return ImageSynth::svg(imageSeed, size / 4); }});
    }
    return lib;
}

} // namespace quorvel::service
