#include "cli/cliopts_apply.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace qm::cli::options {

const std::map<QString, OptionSpec>& longOptions() {
    static const std::map<QString, OptionSpec> m{
        {QStringLiteral("ignore-case"), {Id::IgnoreCase, false}},
        {QStringLiteral("phrase"), {Id::Phrase, true}},
        {QStringLiteral("file"), {Id::ListFile, true}},
        {QStringLiteral("ext"), {Id::Ext, true}},
        {QStringLiteral("password"), {Id::Password, true}},
        {QStringLiteral("ask-password"), {Id::AskPassword, false}},
        {QStringLiteral("tsv"), {Id::Tsv, true}},
        {QStringLiteral("count"), {Id::Count, false}},
        {QStringLiteral("files-with-matches"), {Id::FilesWithMatches, false}},
        {QStringLiteral("quiet"), {Id::Quiet, false}},
        {QStringLiteral("help"), {Id::Help, false}},
        {QStringLiteral("version"), {Id::Version, false}},
        {QStringLiteral("jobs"), {Id::Jobs, true}},
        {QStringLiteral("cache"), {Id::Cache, false}},
        {QStringLiteral("no-cache"), {Id::NoCache, false}},
        {QStringLiteral("clear-cache"), {Id::ClearCache, false}},
        {QStringLiteral("timeout"), {Id::Timeout, true}},
        {QStringLiteral("password-file"), {Id::PasswordFile, true}},
        {QStringLiteral("color"), {Id::Color, true, true}},
        {QStringLiteral("colour"), {Id::Color, true, true}},
        {QStringLiteral("page-number"), {Id::PageNumber, false}},
        {QStringLiteral("max-count"), {Id::MaxCount, true}},
        {QStringLiteral("null"), {Id::Null, false}},
        {QStringLiteral("files-from"), {Id::FilesFrom, true}},
        {QStringLiteral("json"), {Id::Json, false}},
        {QStringLiteral("loose"), {Id::Loose, false}},
        {QStringLiteral("word-regexp"), {Id::WordRegexp, false}},
        {QStringLiteral("ignore-accents"), {Id::IgnoreAccents, false}},
        {QStringLiteral("perl-regexp"), {Id::PerlRegexp, false}},
        {QStringLiteral("only-matching"), {Id::OnlyMatching, false}},
        {QStringLiteral("no-progress"), {Id::NoProgress, false}},
        {QStringLiteral("no-messages"), {Id::NoMessages, false}},
        {QStringLiteral("with-filename"), {Id::WithPath, false}},
        {QStringLiteral("no-filename"), {Id::NoPath, false}},
        {QStringLiteral("ocr"), {Id::Ocr, false}},
        {QStringLiteral("ocr-lang"), {Id::OcrLang, true}},
        {QStringLiteral("all-text"), {Id::AllText, false}},
        {QStringLiteral("text-from"), {Id::TextFrom, true}},
    };
    return m;
}

const std::map<QChar, OptionSpec>& shortOptions() {
    static const std::map<QChar, OptionSpec> m{
        {u'i', {Id::IgnoreCase, false}},
        {u'e', {Id::Phrase, true}},
        {u'f', {Id::ListFile, true}},
        {u'c', {Id::Count, false}},
        {u'l', {Id::FilesWithMatches, false}},
        {u'q', {Id::Quiet, false}},
        {u'j', {Id::Jobs, true}},
        {u'n', {Id::PageNumber, false}},
        {u'm', {Id::MaxCount, true}},
        {u'0', {Id::Null, false}},
        {u's', {Id::NoMessages, false}},
        {u'H', {Id::WithPath, false}},
        {u'h', {Id::NoPath, false}},
        {u'w', {Id::WordRegexp, false}},
        {u'P', {Id::PerlRegexp, false}},
        {u'o', {Id::OnlyMatching, false}},
    };
    return m;
}

namespace {

// A whole number from `lo` to `hi`; nothing for anything else.
std::optional<int> numberIn(const QString& value, int lo, int hi) {
    bool number = false;
    const int n = value.toInt(&number);
    if (!number || n < lo || n > hi) return std::nullopt;
    return n;
}

// The sets of --text-from, by name; nothing for a name it does not know.
std::optional<TextSources> textSources(const QString& list) {
    static const std::map<QString, TextSource> names{
        {QStringLiteral("pages"), TextSource::Pages},
        {QStringLiteral("comments"), TextSource::Comments},
        {QStringLiteral("forms"), TextSource::Forms},
        {QStringLiteral("bookmarks"), TextSource::Bookmarks},
        {QStringLiteral("properties"), TextSource::Properties},
        {QStringLiteral("attachments"), TextSource::Attachments}};
    TextSources set = 0;
    for (const QString& name : list.split(u',')) {
        const auto it = names.find(name.trimmed());
        if (it == names.end()) return std::nullopt;
        set |= static_cast<TextSources>(it->second);
    }
    return set;
}

}  // namespace

QString apply(CliOptions& o, Id id, const QString& value, bool& countSeen, bool& listSeen) {
    switch (id) {
        case Id::IgnoreCase:
            o.caseMode = CaseMode::IgnoreCase;
            break;
        case Id::Phrase:
            if (value.isEmpty()) return QStringLiteral("the search phrase is empty");
            o.phraseSources.push_back({PhraseSource::Kind::Phrase, value});
            break;
        case Id::ListFile:
            if (value.isEmpty()) return QStringLiteral("option -f needs the path of a list file");
            o.phraseSources.push_back({PhraseSource::Kind::ListFile, value});
            break;
        case Id::Ext:
            if (value.isEmpty()) return QStringLiteral("option --ext needs an extension");
            o.extension = value.startsWith(u'.') ? value.mid(1) : value;
            if (o.extension.isEmpty()) return QStringLiteral("option --ext needs an extension");
            break;
        case Id::Password:
            o.password = value;
            o.hasPassword = true;
            break;
        case Id::AskPassword:
            o.askPassword = true;
            break;
        case Id::Tsv:
            if (value.isEmpty()) return QStringLiteral("option --tsv needs a file name");
            o.tsvPath = value;
            break;
        case Id::Count:
            countSeen = true;
            o.output = OutputMode::Count;
            break;
        case Id::FilesWithMatches:
            listSeen = true;
            o.output = OutputMode::FilesWithMatches;
            break;
        case Id::Quiet:
            o.quiet = true;
            break;
        case Id::Help:
            o.help = true;
            break;
        case Id::Version:
            o.version = true;
            break;
        case Id::Jobs: {
            const std::optional<int> n = numberIn(value, 1, 256);
            if (!n) return QStringLiteral("option -j needs a number of extractors from 1 to 256");
            o.jobs = *n;
            break;
        }
        case Id::Cache:
            o.cache = true;
            break;
        case Id::NoCache:
            o.cache = false;
            break;
        case Id::ClearCache:
            o.clearCache = true;
            break;
        case Id::Timeout: {
            const std::optional<int> n = numberIn(value, 0, 24 * 3600);
            if (!n)
                return QStringLiteral("option --timeout needs a number of seconds from 0 to 86400");
            o.timeoutSeconds = *n;
            break;
        }
        case Id::PasswordFile:
            if (value.isEmpty()) return QStringLiteral("option --password-file needs a file name");
            o.passwordFile = value;
            break;
        case Id::Color:
            if (value.isEmpty() || value == u"auto")
                o.color = CliOptions::Color::Auto;
            else if (value == u"always")
                o.color = CliOptions::Color::Always;
            else if (value == u"never")
                o.color = CliOptions::Color::Never;
            else
                return QStringLiteral("option --color takes auto, always or never, not '") + value +
                       u'\'';
            break;
        case Id::PageNumber:
            o.pageNumbers = true;
            break;
        case Id::MaxCount: {
            const std::optional<int> n = numberIn(value, 1, std::numeric_limits<int>::max());
            if (!n)
                return QStringLiteral("option -m needs a number of rows from 1 on, not '") + value +
                       u'\'';
            o.maxCount = *n;
            break;
        }
        case Id::Null:
            o.nullAfterPath = true;
            break;
        case Id::FilesFrom:
            if (value.isEmpty())
                return QStringLiteral(
                    "option --files-from needs a file name (- for standard input)");
            o.filesFrom << value;
            break;
        case Id::Json:
            o.json = true;
            break;
        case Id::Loose:
            o.loose = true;
            break;
        case Id::WordRegexp:
            o.wholeWords = true;
            break;
        case Id::IgnoreAccents:
            o.ignoreAccents = true;
            break;
        case Id::PerlRegexp:
            o.regex = true;
            break;
        case Id::OnlyMatching:
            o.onlyMatching = true;
            break;
        case Id::NoProgress:
            o.noProgress = true;
            break;
        case Id::NoMessages:
            o.noMessages = true;
            break;
        case Id::WithPath:
            o.withPath = true;
            break;
        case Id::NoPath:
            o.withPath = false;
            break;
        case Id::Ocr:
            o.ocr = true;
            break;
        case Id::OcrLang:
            if (value.isEmpty())
                return QStringLiteral("option --ocr-lang needs languages, such as eng+deu");
            o.ocr = true;
            o.ocrLanguages = value;
            break;
        case Id::AllText:
            o.sources = kEveryText;
            break;
        case Id::TextFrom:
            if (const auto set = textSources(value)) {
                o.sources = *set;
                break;
            }
            return QStringLiteral(
                "option --text-from takes a list of pages, comments, forms, bookmarks, "
                "properties and attachments");
    }
    return {};
}

}  // namespace qm::cli::options
