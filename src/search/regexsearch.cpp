#include "search/regexsearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "search/fold.h"
#include "search/matcher.h"
#include "search/sink.h"
#include "search/snippet.h"
#include "text/utf8.h"

namespace qm {

namespace {

struct Enough {};

struct CodeFree {
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct DataFree {
    void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
};
using Code = std::unique_ptr<pcre2_code, CodeFree>;

std::string utf8Of(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The pattern's letters without their accents, as the text is searched.
std::string withoutAccents(const std::string& pattern) {
    FoldedText folded;
    folded.fold(pattern, false, true);
    return std::string(folded.text());
}

Code compile(const std::string& pattern, const MatchRules& rules, int& error, PCRE2_SIZE& at) {
    std::uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_NO_UTF_CHECK;
    if (rules.caseMode == CaseMode::IgnoreCase) options |= PCRE2_CASELESS;
    return Code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                              &error, &at, nullptr));
}

QString messageOf(int error) {
    PCRE2_UCHAR buffer[256];
    const int n = pcre2_get_error_message(error, buffer, sizeof buffer);
    if (n < 0) return QStringLiteral("error %1").arg(error);
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(buffer), n);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// The patterns as the search matches them.
class Patterns {
  public:
    Patterns(const QStringList& phrases, const MatchRules& rules) : rules_(rules) {
        for (const QString& phrase : phrases) {
            std::string p = utf8Of(phrase);
            if (rules.ignoreAccents) p = withoutAccents(p);
            if (rules.wholeWords) p = "(?<!\\w)(?:" + p + ")(?!\\w)";
            int error = 0;
            PCRE2_SIZE at = 0;
            Code code = compile(p, rules, error, at);
            if (code) pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
            codes_.push_back(std::move(code));  // checked before the search: never null
        }
        context_ = pcre2_match_context_create(nullptr);
        data_.reset(pcre2_match_data_create(2, nullptr));
    }
    ~Patterns() { pcre2_match_context_free(context_); }
    Patterns(const Patterns&) = delete;
    Patterns& operator=(const Patterns&) = delete;

    std::size_t count() const { return codes_.size(); }

    // Every match of pattern `k` in `page` (the original text), non-empty, as
    // at(start, length) in the page's bytes. Throws PatternTooComplex.
    template <class F>
    void forEachMatch(std::size_t k, std::string_view page, F&& at) {
        pcre2_code* code = codes_[k].get();
        if (!code) return;
        std::string_view subject = page;
        if (rules_.ignoreAccents) {
            folded_.fold(page, false, true);
            subject = folded_.text();
        }
        const auto back = [&](std::size_t n) {
            return rules_.ignoreAccents ? folded_.toOriginal(n) : n;
        };
        std::size_t from = 0;
        while (from <= subject.size()) {
            const int rc =
                pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                            from, PCRE2_NO_UTF_CHECK, data_.get(), context_);
            if (rc == PCRE2_ERROR_NOMATCH) return;
            if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
                rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT)
                throw PatternTooComplex{0};
            if (rc < 0) return;
            const PCRE2_SIZE* v = pcre2_get_ovector_pointer(data_.get());
            const std::size_t begin = v[0], end = v[1];
            if (end > begin) {
                const std::size_t a = back(begin);
                at(a, back(end) - a);
                from = end;
            } else {
                // A match of nothing: try again one character on.
                from = utf8::advanceCodePoints(subject, std::max(from, begin), 1);
                if (from == begin) return;
            }
        }
    }

  private:
    MatchRules rules_;
    std::vector<Code> codes_;
    pcre2_match_context* context_ = nullptr;
    std::unique_ptr<pcre2_match_data, DataFree> data_;
    FoldedText folded_;
};

// The pages of `text`: each without the form feed that ends it.
template <class F>
void forEachPage(std::string_view text, F&& page) {
    std::size_t start = 0, n = 1;
    while (true) {
        const std::size_t feed = text.find('\f', start);
        page(start,
             text.substr(start, (feed == std::string_view::npos ? text.size() : feed) - start), n);
        if (feed == std::string_view::npos) return;
        start = feed + 1;
        ++n;
    }
}

}  // namespace

std::optional<PatternFault> checkPatterns(const QStringList& patterns, const MatchRules& rules) {
    for (const QString& pattern : patterns) {
        int error = 0;
        PCRE2_SIZE at = 0;
        const std::string p = utf8Of(pattern);
        if (compile(p, rules, error, at)) continue;
        return PatternFault{pattern, messageOf(error),
                            utf8::countCodePoints(std::string_view(p).substr(0, at)) + 1};
    }
    return std::nullopt;
}

std::size_t searchRegexText(const QString& path, const TextChunks& chunks,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink) {
    Patterns patterns(phrases, rules);
    const std::string_view whole = chunks.utf8();
    std::vector<std::size_t> starts;
    for (std::size_t c = 0; c < chunks.count(); ++c)
        starts.push_back(static_cast<std::size_t>(chunks.chunk(c).data() - whole.data()));
    std::size_t found = 0;
    try {
        for (std::size_t k = 0; k < patterns.count(); ++k) {
            forEachPage(whole, [&](std::size_t pageStart, std::string_view page, std::size_t n) {
                patterns.forEachMatch(k, page, [&](std::size_t at, std::size_t length) {
                    const std::size_t abs = pageStart + at;
                    const std::size_t c = static_cast<std::size_t>(
                        std::upper_bound(starts.begin(), starts.end(), abs) - starts.begin() - 1);
                    const std::size_t offset = abs - starts[c];
                    const Snippet snippet = snippetAt(chunks.chunk(c), offset);
                    ++found;
                    Hit hit{path,  k, c, offset, snippet, n, phrases[static_cast<qsizetype>(k)],
                            length};
                    hit.matched = whole.substr(abs, length);
                    if (sink.occurrence(hit) == SinkAnswer::Enough) throw Enough{};
                });
            });
        }
    } catch (const Enough&) {
    } catch (const PatternTooComplex&) {
        throw PatternTooComplex{found};
    }
    return found;
}

std::size_t searchRegexFile(const QString& path, const QString& textPath,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink) {
    Patterns patterns(phrases, rules);
    std::size_t found = 0;
    try {
        for (std::size_t k = 0; k < patterns.count(); ++k) {
            // The chunks the current page lies in, and where it begins in the first.
            std::deque<std::string> held;
            std::size_t firstIndex = 0, pageAt = 0, pageNumber = 1;
            std::string page;
            const auto searchPage = [&] {
                patterns.forEachMatch(k, page, [&](std::size_t at, std::size_t length) {
                    std::size_t c = 0, offset = pageAt + at;
                    while (offset >= held[c].size() && c + 1 < held.size())
                        offset -= held[c++].size();
                    const Snippet snippet = snippetAt(held[c], offset);
                    ++found;
                    Hit hit{path,
                            k,
                            firstIndex + c,
                            offset,
                            snippet,
                            pageNumber,
                            phrases[static_cast<qsizetype>(k)],
                            length};
                    hit.matched = std::string_view(page).substr(at, length);
                    if (sink.occurrence(hit) == SinkAnswer::Enough) throw Enough{};
                });
            };
            forEachFileChunk(textPath, [&](std::string_view chunk) {
                held.emplace_back(chunk);
                std::size_t from = 0;
                for (std::size_t feed = chunk.find('\f'); feed != std::string_view::npos;
                     feed = chunk.find('\f', from)) {
                    page.append(chunk.substr(from, feed - from));
                    searchPage();
                    // The next page begins after the form feed, in this chunk.
                    while (held.size() > 1) {
                        held.pop_front();
                        ++firstIndex;
                    }
                    pageAt = feed + 1;
                    page.clear();
                    ++pageNumber;
                    from = feed + 1;
                }
                page.append(chunk.substr(from));
            });
            if (!held.empty()) searchPage();
        }
    } catch (const Enough&) {
    } catch (const PatternTooComplex&) {
        throw PatternTooComplex{found};
    }
    return found;
}

}  // namespace qm
