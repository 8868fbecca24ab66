#include "search/loosesearch.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "search/fold.h"
#include "search/loose.h"
#include "search/matcher.h"
#include "search/pages.h"
#include "search/sink.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Thrown out of a file's chunks when the sink has enough.
struct Enough {};

// Every place of `text` where `phrase` (in the normal form) begins, from byte
// `from` of the original text on, with the original bytes it covers:
// at(start, length) until it returns false. False when stopped. With whole
// words, the characters beside a place in the normal form are no word
// characters (`before`: what comes before the text).
template <class F>
bool forEachLoosePlace(const LooseText& text, const std::string& phrase, std::size_t from,
                       bool wholeWords, WordSide before, F&& at) {
    const std::string_view normal = text.normal();
    std::size_t last = npos;
    const ByteFinder finder(phrase);
    for (std::size_t pos = finder.find(normal, 0); pos != npos;
         pos = finder.find(normal, pos + 1)) {
        if (wholeWords) {
            const WordSide b = wordSideBefore(normal, pos);
            if ((b == WordSide::Unknown ? before : b) == WordSide::Word ||
                wordSideAfter(normal, pos + phrase.size(), false) == WordSide::Word)
                continue;
        }
        // Several places of one ligature or blank run are one place of the text.
        const std::size_t start = text.toOriginal(pos);
        if (start == last || start < from) continue;
        last = start;
        if (!at(start, text.toOriginalEnd(pos + phrase.size()) - start)) return false;
    }
    return true;
}

}  // namespace

std::size_t searchLooseText(const QString& path, const TextChunks& chunks,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink) {
    const bool fold = rules.caseMode == CaseMode::IgnoreCase;
    const bool accents = rules.ignoreAccents;
    std::vector<std::string> prepared;
    for (const QString& phrase : phrases) prepared.push_back(loosePhrase(phrase, fold, accents));
    if (std::all_of(prepared.begin(), prepared.end(), [](const auto& p) { return p.empty(); }))
        return 0;
    const LooseText text(chunks.utf8(), fold, accents);
    std::vector<std::size_t> starts;
    for (std::size_t c = 0; c < chunks.count(); ++c)
        starts.push_back(static_cast<std::size_t>(chunks.chunk(c).data() - chunks.utf8().data()));
    PageFinder pages(chunks);
    std::size_t found = 0;
    for (std::size_t k = 0; k < prepared.size(); ++k) {
        if (prepared[k].empty()) continue;
        const bool more = forEachLoosePlace(
            text, prepared[k], 0, rules.wholeWords, WordSide::NotWord,
            [&](std::size_t at, std::size_t length) {
                const std::size_t c =
                    static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                             starts.begin()) -
                    1;
                const std::size_t offset = at - starts[c];
                const Snippet snippet = snippetAt(chunks.chunk(c), offset);
                ++found;
                Hit hit{path,
                        k,
                        c,
                        offset,
                        snippet,
                        pages.pageAtByte(at),
                        phrases[static_cast<qsizetype>(k)],
                        length};
                hit.matched = std::string_view(chunks.utf8()).substr(at, length);
                return sink.occurrence(hit) == SinkAnswer::More;
            });
        if (!more) break;
    }
    return found;
}

std::size_t searchLooseFile(const QString& path, const QString& textPath,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink) {
    const bool fold = rules.caseMode == CaseMode::IgnoreCase;
    const bool accents = rules.ignoreAccents;
    std::size_t found = 0;
    std::string window;  // a chunk and those after it that an occurrence may reach
    try {
        for (qsizetype k = 0; k < phrases.size(); ++k) {
            const std::string phrase = loosePhrase(phrases[k], fold, accents);
            if (phrase.empty()) continue;
            std::string current;            // the chunk whose occurrences are reported next
            std::deque<std::string> ahead;  // the chunks read after it
            std::size_t index = 0;
            bool any = false;
            LooseCut cut = LooseCut::Clear;       // where the text stands before `current`
            WordSide before = WordSide::NotWord;  // what ends the text before `current`
            std::size_t feedsBefore = 0;          // form feeds before `current`
            // Reports the occurrences that begin in `current`, reading on into `ahead`.
            const auto searchCurrent = [&] {
                window.assign(current);
                for (const std::string& next : ahead) window.append(next);
                const LooseText text(window, fold, accents);
                std::size_t counted = 0;
                std::size_t feeds = 0;
                forEachLoosePlace(
                    text, phrase, looseBorrowedLead(current, cut), rules.wholeWords, before,
                    [&](std::size_t at, std::size_t length) {
                        if (at >= current.size()) return false;
                        feeds +=
                            countFormFeeds(std::string_view(current).substr(counted, at - counted));
                        counted = at;
                        const Snippet snippet = snippetAt(current, at);
                        ++found;
                        Hit hit{path,    static_cast<std::size_t>(k), index,      at,
                                snippet, 1 + feedsBefore + feeds,     phrases[k], length};
                        hit.matched = std::string_view(window).substr(at, length);
                        if (sink.occurrence(hit) == SinkAnswer::Enough) throw Enough{};
                        return true;
                    });
                feedsBefore += countFormFeeds(current);
                cut = looseCutAfter(current, cut);
                if (const WordSide side = wordSideBefore(current, current.size());
                    side != WordSide::Unknown)
                    before = side;
                current = std::move(ahead.front());
                ahead.pop_front();
                ++index;
            };
            // An occurrence that begins in `current` ends before the chunks
            // ahead have given the phrase's bytes of the normal form (and one
            // more, the character after it, for whole words): mostly within
            // the next chunk, but a long phrase, or a long run of white space,
            // reaches further.
            const std::size_t reach = phrase.size() + (rules.wholeWords ? 1 : 0);
            const auto aheadIsEnough = [&] {
                std::size_t kept = 0;
                for (const std::string& next : ahead) {
                    kept += looseKeptCodePoints(next, reach - kept, accents);
                    if (kept >= reach) return true;
                }
                return false;
            };
            forEachFileChunk(textPath, [&](std::string_view chunk) {
                if (!any) {
                    current.assign(chunk);
                    any = true;
                    return;
                }
                ahead.emplace_back(chunk);
                while (!ahead.empty() && aheadIsEnough()) searchCurrent();
            });
            if (!any) continue;
            // The text has ended: every chunk left reads on to its end.
            ahead.emplace_back();
            while (!ahead.empty()) searchCurrent();
        }
    } catch (const Enough&) {
    }
    return found;
}

}  // namespace qm
