#include "cli/inputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "platform/services.h"
#include "terms/findsets.h"
#include "text/display.h"
#include "text/error.h"
#include "text/textfile.h"
#include "words/words.h"

namespace qm::cli {

namespace {

// "-f -": the list read from standard input, by the rules of a list file.
void readPhrasesFromStandardInput(QStringList& phrases) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return;
    // No more than a list file may hold: input without end is refused, not read on.
    // A pipe hands its bytes over in pieces as they are written: read to the end.
    QByteArray bytes;
    while (bytes.size() <= kMaxListFileBytes) {
        const QByteArray more = in.read(kMaxListFileBytes + 1 - bytes.size());
        if (more.isEmpty()) break;  // the end, or nothing more can be read
        bytes += more;
    }
    if (bytes.size() > kMaxListFileBytes) throw Error(findSetsFullMessage());
    appendPhraseLines(phrases,
                      phraseListLines(bytes.toStdString(), QStringLiteral("on standard input")));
}

}  // namespace

// The find-set list of the command line: phrases and list files in the order given.
bool collectPhrases(const CliOptions& options, Terminal& terminal, QStringList& phrases) {
    QString blankList;  // the first list that gave no phrase
    for (const PhraseSource& s : options.phraseSources) {
        if (s.kind == PhraseSource::Kind::Phrase) {
            phrases << s.text;
            continue;
        }
        const qsizetype before = phrases.size();
        if (s.text == u"-") {
            try {
                readPhrasesFromStandardInput(phrases);
            } catch (const Error& e) {
                terminal.problem(e.description());
                return false;
            }
            if (phrases.size() == before && blankList.isEmpty())
                blankList = QStringLiteral("on standard input");
            continue;
        }
        if (!fs::exists(s.text) || !fs::isFile(s.text)) {
            terminal.problem(s.text + QStringLiteral(": File not found"));
            return false;
        }
        try {
            if (!loadPhraseList(phrases, s.text)) {
                terminal.problem(s.text + QStringLiteral(": File not found"));
                return false;
            }
        } catch (const Error& e) {
            terminal.problem(e.description());
            return false;
        }
        if (phrases.size() == before && blankList.isEmpty()) blankList = s.text;
    }
    // Lists without a phrase, and nothing else: no search of nothing.
    if (phrases.isEmpty()) {
        terminal.problem(noPhraseInListText(blankList));
        return false;
    }
    return true;
}

// The file list of the command line: a file as given, a folder with every
// matching file below it, listed as "Add All PDF File(s) In Folder" lists them.
bool collectFiles(const CliOptions& options, const QStringList& paths, Terminal& terminal,
                  QStringList& list) {
    WalkProblems unreadable;
    const QString pattern = QStringLiteral("*.") + options.extension;
    // Which paths are folders: a long list is looked at on two threads.
    std::vector<char> folder(static_cast<std::size_t>(paths.size()));
    const auto look = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            folder[static_cast<std::size_t>(i)] = fs::isFolder(paths[i]);
    };
    constexpr qsizetype kAlone = 256;
    if (paths.size() > kAlone) {
        std::thread half(look, paths.size() / 2, paths.size());
        look(0, paths.size() / 2);
        half.join();
    } else {
        look(0, paths.size());
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        if (!folder[static_cast<std::size_t>(i)]) {
            list << path;
            continue;
        }
        QString folder = path;
        while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
        QStringList folders{folder == u"/" ? folder : folder + u'/'};
        walkFolders(
            folders, true,
            [&](FolderWalkStage, const QString& description) {
                if (!options.noMessages) terminal.problem(description);
            },
            &unreadable);
        for (const QString& entry : folders)
            list << filesToAddFromFolder(entry, pattern, &unreadable);
    }
    if (!options.noMessages)
        for (const WalkProblem& p : unreadable)
            terminal.problem(nameInReport(p.path) + QStringLiteral(": ") +
                             walkProblemReason(p.error));
    return unreadable.empty();
}

// The paths of --files-from: one a line (a CR before the LF is dropped), or
// NUL-separated with -0; empty entries are skipped. False when a file cannot be read.
bool readFilesFrom(const CliOptions& options, QStringList& paths, Terminal& terminal) {
    for (const QString& name : options.filesFrom) {
        QFile f;
        // The list's own name may hold bytes that are not UTF-8: opened by its bytes.
        const int fd =
            name == u"-" ? -1 : ::open(fs::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
        const bool open =
            name == u"-" ? f.open(stdin, QIODevice::ReadOnly)
                         : fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        if (fd >= 0 && !open) ::close(fd);
        if (!open) {
            terminal.problem(name + QStringLiteral(": cannot read the list of paths"));
            return false;
        }
        const QByteArray all = f.readAll();
        for (QByteArray entry : all.split(options.nullAfterPath ? '\0' : '\n')) {
            if (!options.nullAfterPath && entry.endsWith('\r')) entry.chop(1);
            if (!entry.isEmpty()) paths << fs::decodeName(entry);
        }
    }
    return true;
}

// The password a password file holds: its one line (without its line end).
// A file, a pipe or a descriptor ("--password-file <(...)"). False, with a
// message, when it cannot be read or its password would hold a line break.
bool readPasswordFile(const QString& path, Terminal& terminal, QString& password) {
    constexpr std::int64_t kMaxPasswordFile = 64 * 1024;
    try {
        if (!fs::exists(path) || fs::isFolder(path))
            throw Error(QStringLiteral("File not found: ") + path);
        const QStringList lines = readFileOrPipeLines(
            path, kMaxPasswordFile, QStringLiteral("The password file is too large: ") + path);
        password = lines.isEmpty() ? QString() : lines.first();
        if (lines.size() > 1 || password.contains(u'\r'))
            throw Error(QStringLiteral("The password file holds more than one line (a password "
                                       "cannot hold a line break): ") +
                        path);
        return true;
    } catch (const Error& e) {
        terminal.problem(e.description());
        return false;
    }
}

}  // namespace qm::cli
