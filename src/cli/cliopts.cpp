#include "cli/cliopts.h"
#include "cli/cliopts_apply.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace qm::cli {

using namespace options;

ParseResult parseArguments(const QStringList& arguments) {
    ParseResult r;
    CliOptions& o = r.options;
    QStringList positional;
    bool countSeen = false;
    bool listSeen = false;
    bool optionsEnded = false;
    // Each --tsv given with the number of arguments before it that are not options.
    std::vector<std::pair<QString, qsizetype>> writers;

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
            if (it->second.id == Id::Tsv) writers.push_back({arg, positional.size()});
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

    // Past the phrase (unless -e or -f gave it), every such argument is a path.
    const qsizetype firstPath = o.findSetMode() ? 0 : 1;
    for (const auto& [arg, before] : writers)
        if (before > firstPath)
            r.warnings << QStringLiteral("warning: '") + arg +
                              QStringLiteral(
                                  "' after the first path is taken as an option that "
                                  "writes a file; put -- before the paths to take "
                                  "every argument after it as a path");
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

}  // namespace qm::cli
