// Adding files: the open dialog, the folder scan, drag and drop, reordering.
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "app/errorreport.h"
#include "app/folderwalkreport.h"
#include "app/form1.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "terms/findsets.h"

namespace qm {

namespace {

// The local paths of a drag, or nothing when it does not carry files only.
QStringList droppedPaths(const QMimeData* data) {
    QStringList out;
    if (!data || !data->hasUrls()) return out;
    const QList<QUrl> urls = data->urls();
    for (const QUrl& u : urls) {
        if (!u.isLocalFile()) return {};
        const QString p = u.toLocalFile();
        if (p.isEmpty()) return {};
        out << p;
    }
    return out;
}

// Lists what a drop brought: a file as dropped, a folder with every file of its
// tree; then the add-time check over the whole list.
}  // namespace

void Form1::PushButton1_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    QStringList chosen;
    p.step(100, [&] {
        chosen = services_.dialogs->openFiles(
            QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
            QStringLiteral("PDF Files (*.pdf)"));
    });
    bool tooMany = false;
    p.step(102, [&] {
        if (dialogSelectionLength(chosen) > kDialogBufferLength) {
            tooMany = true;
            services_.boxes->message(
                QStringLiteral("You've selected too many files to add.\r\rPlease try adding via "
                               "the \"Add All\" button."),
                applicationTitle());
        }
    });
    if (tooMany) return;
    if (chosen.size() == 1) {
        p.step(104, [&] { fileList.add(chosen.front()); });
    } else {
        for (const QString& path : chosen) {
            p.step(106, [&] {
                const auto [folder, name] = fs::splitPath(path);
                fileList.add(fs::collapseSlashes(folder + u'/' + name));
            });
        }
    }
    p.step(108, [&] { runAddTimeCheck(); });
}

void Form1::PushButton6_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    QString extension;
    p.step(100, [&] {
        extension = services_.boxes->input(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            applicationTitle(),
            services_.settings->getSetting(QStringLiteral("Extension"), QStringLiteral("pdf")));
    });
    if (extension.isEmpty()) return;
    p.step(102, [&] { services_.settings->saveSetting(QStringLiteral("Extension"), extension); });

    QString folder;
    p.step(104, [&] {
        const QString last =
            services_.settings->getSetting(QStringLiteral("LastFolder"), QString());
        folder = services_.dialogs->chooseFolder(QStringLiteral("Please select folder:"), last);
    });
    if (!folder.isEmpty()) {
        p.step(106, [&] { services_.settings->saveSetting(QStringLiteral("LastFolder"), folder); });
        p.step(108, [&] { setMousePointer(MousePointer::Busy); });
        QStringList folders;
        WalkProblems unreadable;
        p.step(110, [&] {
            folders.push_back(folder + u'/');
            walkBeside(folders, &unreadable);
        });
        const QString pattern = QStringLiteral("*.") + extension;
        for (const QString& entry : folders)
            p.step(112, [&] { fileList.add(filesToAddFromFolder(entry, pattern, &unreadable)); });
        p.step(114, [&] { setMousePointer(MousePointer::Default); });
        showUnreadable(*services_.boxes, unreadable, applicationTitle());
    }
    p.step(116, [&] { runAddTimeCheck(); });
}

// --- drops from other programs ---

void Form1::ListView1_OLEDragOver(QDragMoveEvent* event) {
    if (droppedPaths(event->mimeData()).isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    // Dropped files are listed, never moved: always a copy.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

// A drop is accepted at once, so the program the files come from is free
// again; the walk and the check run right after the drop event, drops in the
// order they came.
void Form1::ListView1_OLEDragDrop(QDropEvent* event) {
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The dragging program is let go at once; the walk and the check follow.
    QMetaObject::invokeMethod(
        this, [this, paths] { addPaths(paths); }, Qt::QueuedConnection);
}

void Form1::walkBeside(QStringList& folders, WalkProblems* unreadable) {
    // The walk runs on a thread of its own while the window's events go on;
    // what fails in it is reported from the window's thread once it is done.
    struct Failure {
        FolderWalkStage stage;
        QString description;
    };
    std::vector<Failure> failures;
    std::exception_ptr error;
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread walker([&] {
        try {
            walkFolders(
                folders, true,
                [&failures](FolderWalkStage stage, const QString& description) {
                    failures.push_back({stage, description});
                },
                unreadable);
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!done) loop.exec();
    walker.join();
    const FolderWalkFailure report = folderWalkReport(*services_.boxes);
    for (const Failure& f : failures) report(f.stage, f.description);
    if (error) std::rethrow_exception(error);
}

void Form1::addPaths(const QStringList& paths) {
    WalkProblems unreadable;
    for (const QString& path : paths) {
        // A drop has no report of its own: a failing path is passed over and
        // the entries added so far stay.
        try {
            if (fs::isFolder(path)) {
                QString folder = path;
                while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
                QStringList folders{folder + u'/'};
                walkBeside(folders, &unreadable);
                for (const QString& entry : folders)
                    fileList.add(filesToAddFromFolder(entry, QStringLiteral("*.*"), &unreadable));
            } else {
                fileList.add(path);
            }
        } catch (const std::exception&) {
        }
    }
    try {
        showUnreadable(*services_.boxes, unreadable, applicationTitle());
        runAddTimeCheck();
    } catch (const std::exception&) {
    }
}

// --- reordering by dragging ---

void Form1::ListView1_ItemClick(int position) {
    // "drag.ico" beside the program, else the installed one, else a closed hand.
    QStringList icons;
    if (!config_.applicationFolder.isEmpty())
        icons << QDir(config_.applicationFolder).filePath(QStringLiteral("drag.ico"));
    if (!config_.installedDragPointer.isEmpty()) icons << config_.installedDragPointer;
    QPixmap picture;
    for (const QString& icon : icons)
        if (QFileInfo::exists(icon) && picture.load(icon)) break;
    if (!picture.isNull())
        ListView1->viewport()->setCursor(QCursor(picture));
    else
        ListView1->viewport()->setCursor(Qt::ClosedHandCursor);
    const int selected = fileList.selected() > 0 ? fileList.selected() : position;
    DragItem = QPersistentModelIndex(fileList.index(selected - 1));
}

void Form1::ListView1_MouseDown(QMouseEvent*) {
    IsDragging = true;
}

void Form1::ListView1_MouseMove(QMouseEvent* event) {
    if (!isBusy()) setMousePointer(MousePointer::Default);
    if (!IsDragging) return;
    // Only a move with the left button held reorders; without it the release
    // was lost (swallowed by a box or a window switch) and the drag is over.
    if (!(event->buttons() & Qt::LeftButton)) {
        ListView1_MouseUp(nullptr);
        return;
    }
    const QPoint at = event->position().toPoint();
    HoverItem = QPersistentModelIndex(ListView1->indexAt(at));
    if (HoverItem.isValid() && DragItem.isValid() && HoverItem.row() != DragItem.row()) {
        const int from = DragItem.row() + 1;
        const int to = HoverItem.row() + 1;
        if (fileList.text(from) != fileList.text(to)) {
            fileList.swapTexts(from, to);
            const QModelIndex target = fileList.index(to - 1);
            ListView1->selectionModel()->setCurrentIndex(
                target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            fileList.setSelected(to);
            DragItem = QPersistentModelIndex(target);
            // Near the top or bottom edge (within one row) the list scrolls by one entry.
            const int rowHeight = qMax(1, ListView1->visualRect(target).height());
            if (at.y() < rowHeight) {
                if (to - 1 >= 1) ListView1->scrollTo(fileList.index(to - 2));
            } else if (at.y() >= ListView1->viewport()->height() - rowHeight) {
                if (to + 1 <= fileList.count()) ListView1->scrollTo(fileList.index(to));
            }
        }
    }
    HoverItem = QPersistentModelIndex();
}

void Form1::ListView1_MouseUp(QMouseEvent*) {
    IsDragging = false;
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

}  // namespace qm
