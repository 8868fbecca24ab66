#include "cli/cliopts.h"

#include <map>

namespace qm::cli {

namespace {

enum class Id {
    IgnoreCase,
    Phrase,
    ListFile,
    Ext,
    Password,
    AskPassword,
    Tsv,
    Count,
    FilesWithMatches,
    Quiet,
    Help,
    Version,
    Jobs,
    Cache,
    NoCache,
    ClearCache,
    Timeout,
    PasswordFile,
    Color,
    PageNumber,
    MaxCount,
    Null,
    FilesFrom,
    Json,
    Loose,
    NoProgress,
    NoMessages,
    WithPath,
    NoPath,
    Ocr,
    OcrLang,
};

struct OptionSpec {
    Id id;
    bool takesValue;
    bool valueOptional = false;  // "--color" alone, or "--color=WHEN"
};

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
        {QStringLiteral("no-progress"), {Id::NoProgress, false}},
        {QStringLiteral("no-messages"), {Id::NoMessages, false}},
        {QStringLiteral("with-filename"), {Id::WithPath, false}},
        {QStringLiteral("no-filename"), {Id::NoPath, false}},
        {QStringLiteral("ocr"), {Id::Ocr, false}},
        {QStringLiteral("ocr-lang"), {Id::OcrLang, true}},
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
    };
    return m;
}

// Applies one option; returns an error text or an empty one.
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
            bool number = false;
            const int n = value.toInt(&number);
            if (!number || n < 1 || n > 256)
                return QStringLiteral("option -j needs a number of extractors from 1 to 256");
            o.jobs = n;
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
            bool number = false;
            const int n = value.toInt(&number);
            if (!number || n < 0 || n > 24 * 3600)
                return QStringLiteral("option --timeout needs a number of seconds from 0 to 86400");
            o.timeoutSeconds = n;
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
            bool number = false;
            const int n = value.toInt(&number);
            if (!number || n < 1)
                return QStringLiteral("option -m needs a number of rows from 1 on, not '") + value +
                       u'\'';
            o.maxCount = n;
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
    }
    return {};
}

}  // namespace

ParseResult parseArguments(const QStringList& arguments) {
    ParseResult r;
    CliOptions& o = r.options;
    QStringList positional;
    bool countSeen = false;
    bool listSeen = false;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            positional << arg;
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        QString err;
        if (arg.startsWith(QStringLiteral("--"))) {
            QString name = arg.mid(2);
            QString value;
            bool attached = false;
            const qsizetype eq = name.indexOf(u'=');
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
                attached = true;
            }
            const auto it = longOptions().find(name);
            if (it == longOptions().end()) {
                r.error = QStringLiteral("unknown option: --") + name;
                return r;
            }
            if (it->second.takesValue && !attached && it->second.valueOptional) {
                value.clear();
            } else if (it->second.takesValue && !attached) {
                if (i + 1 >= arguments.size()) {
                    r.error = QStringLiteral("option --") + name + QStringLiteral(" needs a value");
                    return r;
                }
                value = arguments[++i];
            } else if (!it->second.takesValue && attached) {
                r.error = QStringLiteral("option --") + name + QStringLiteral(" takes no value");
                return r;
            }
            err = apply(o, it->second.id, value, countSeen, listSeen);
        } else {
            // A group of short options; one that takes a value ends the group.
            for (qsizetype k = 1; k < arg.size() && err.isEmpty(); ++k) {
                const QChar c = arg[k];
                const auto it = shortOptions().find(c);
                if (it == shortOptions().end()) {
                    r.error = QStringLiteral("unknown option: -") + c;
                    return r;
                }
                QString value;
                if (it->second.takesValue) {
                    if (k + 1 < arg.size()) {
                        value = arg.mid(k + 1);
                    } else if (i + 1 < arguments.size()) {
                        value = arguments[++i];
                    } else {
                        r.error = QStringLiteral("option -") + c + QStringLiteral(" needs a value");
                        return r;
                    }
                    err = apply(o, it->second.id, value, countSeen, listSeen);
                    break;
                }
                err = apply(o, it->second.id, value, countSeen, listSeen);
            }
        }
        if (!err.isEmpty()) {
            r.error = err;
            return r;
        }
    }

    if (o.help || o.version) return r;
    // Emptying the store needs nothing else; with a search it comes first.
    if (o.clearCache && positional.isEmpty() && !o.findSetMode()) return r;
    if (countSeen && listSeen) {
        r.error = QStringLiteral("options -c and -l cannot be used together");
        return r;
    }
    if (o.quiet && !o.tsvPath.isEmpty()) {
        r.error = QStringLiteral("options -q and --tsv cannot be used together");
        return r;
    }
    if (int(o.hasPassword) + int(o.askPassword) + int(!o.passwordFile.isEmpty()) > 1) {
        r.error = QStringLiteral(
            "options --password, --password-file and --ask-password cannot be used together");
        return r;
    }
    for (const PhraseSource& s : o.phraseSources) {
        if (s.kind == PhraseSource::Kind::ListFile && s.text == u"-" && o.askPassword) {
            r.error =
                QStringLiteral("options -f - and --ask-password cannot both read standard input");
            return r;
        }
    }
    if (!o.findSetMode()) {
        if (positional.isEmpty()) {
            r.error = QStringLiteral("no search phrase given");
            return r;
        }
        o.phrase = positional.takeFirst();
        // A phrase of blanks only is refused, as the window refuses it.
        if (isBlankPhrase(o.phrase)) {
            r.error = QStringLiteral("the search phrase is empty");
            return r;
        }
    }
    if (o.askPassword && o.filesFrom.contains(QStringLiteral("-"))) {
        r.error =
            QStringLiteral("options --files-from - and --ask-password cannot be used together");
        return r;
    }
    if (positional.isEmpty() && o.filesFrom.isEmpty()) {
        r.error = QStringLiteral("no file or folder to search given");
        return r;
    }
    o.paths = positional;
    return r;
}

QString usageText() {
    return QStringLiteral(
        "Usage: quillmark-search [options] PHRASE PATH...\n"
        "       quillmark-search [options] -e PHRASE [-e PHRASE]... PATH...\n"
        "       quillmark-search [options] -f LISTFILE PATH...\n"
        "\n"
        "Searches the text of PDF files for a phrase, or for every phrase of a list,\n"
        "and prints one line per occurrence: the file's path, a TAB and the text\n"
        "around the occurrence. Folders are searched with every folder below them.\n"
        "\n"
        "Options:\n"
        "  -e, --phrase PHRASE      search for PHRASE; may be given several times\n"
        "  -f, --file LISTFILE      search for every non-blank line of LISTFILE\n"
        "                           (- for standard input)\n"
        "  -i, --ignore-case        ignore case (without it, case matters)\n"
        "      --ext EXT            list the files ending in .EXT from folders\n"
        "                           (default pdf; * for every file)\n"
        "      --password PW        try the password PW on every file (other users\n"
        "                           of the computer can see it; --password-file not)\n"
        "      --password-file FILE try the password in FILE (one line; a pipe too) on\n"
        "                           every file\n"
        "      --ask-password       ask for a password for each file that needs one\n"
        "      --tsv FILE           also write the results to FILE as tab-separated\n"
        "                           text, as \"Save Results As Text File\" does\n"
        "                           (- for standard output, instead of the rows)\n"
        "  -c, --count              print each searched file's number of results\n"
        "  -l, --files-with-matches print each file with a result once\n"
        "  -q, --quiet              print nothing; end at the first match (status 0)\n"
        "  -s, --no-messages        no report of the files that could not be read\n"
        "      --no-progress        no progress line (shown only when standard error\n"
        "                           is a terminal)\n"
        "  -H, --with-filename      print the path in rows and counts (the default)\n"
        "  -h, --no-filename        leave the path out of rows and counts\n"
        "  -j, --jobs N             run up to N text extractors at once\n"
        "                           (default: the number of processors)\n"
        "      --timeout SECONDS    end a file's text extraction after SECONDS and\n"
        "                           report the file (default 600; 0: no limit)\n"
        "      --cache              keep extracted text between runs in the user's\n"
        "                           cache folder (XDG_CACHE_HOME/quillmark)\n"
        "      --no-cache           keep nothing between runs (the default)\n"
        "      --clear-cache        empty that folder first (alone: only that)\n"
        "  -n, --page-number        print the page between the path and the snippet\n"
        "  -m, --max-count N        print at most N rows of each file\n"
        "  -0, --null               a NUL after each path instead of the TAB (or line\n"
        "                           end), for paths with tabs or line ends\n"
        "      --files-from FILE    search the paths in FILE too, one a line (NUL-\n"
        "                           separated with -0); - reads standard input\n"
        "      --json               one JSON object a line: path, page, phrase, snippet\n"
        "                           (with -c: path and count; with -l: path)\n"
        "      --color[=WHEN]       highlight the phrase in the snippet: auto (on a\n"
        "                           terminal, unless NO_COLOR is set; the default),\n"
        "                           always or never\n"
        "      --loose              a run of blanks or line ends in the phrase matches\n"
        "                           any run of white space; ligatures match their\n"
        "                           letters; soft hyphens and zero-width characters are\n"
        "                           skipped; a phrase may cross a page or line end; with\n"
        "                           -i, full case folding (ss matches \u00df)\n"
        "      --ocr                read scanned pages (without text of their own) with\n"
        "                           OCR (tesseract, package tesseract-ocr): a few\n"
        "                           seconds of processor time a page, once with --cache\n"
        "      --ocr-lang LANGS     the languages of --ocr, as eng+deu (implies --ocr;\n"
        "                           default: the user's languages installed, else eng)\n"
        "      --help               show this text\n"
        "      --version            show the version\n"
        "\n"
        "Ctrl+C stops after the current file and prints what was found.\n"
        "Exit status: 0 when something was found, 1 when nothing was found, 2 when\n"
        "an error occurred (a usage error, a missing text extractor, a path that is\n"
        "missing or unreadable, a file that could not be copied or opened), even\n"
        "when something was found, unless -q found a match; files without text\n"
        "(scanned or protected) are results, not errors. 130 after Ctrl+C.\n");
}

QString versionText() {
    return QStringLiteral("quillmark-search (Quillmark) ") + QStringLiteral(QM_VERSION);
}

}  // namespace qm::cli
