// Start-up, shutdown and the sample files.
#include <QHeaderView>
#include <QTreeView>

#include "app/form1.h"
#include "app/searchcontrols.h"
#include "app/twips.h"
#include "platform/error.h"
#include "platform/settings.h"
#include "terms/restoreoptions.h"

namespace qm {

namespace {

const QString kProductName = QStringLiteral("Quillmark");

// The title of every box shown without a title of its own.
void SetApplicationTitle() {
    setApplicationTitle(applicationTitleFromName(kProductName));
}

}  // namespace

void Form1::Form_Load() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("Form_Load"));

    // Caption and application title.
    p.step(130, [&] {
        setWindowTitle(kProductName);
        SetApplicationTitle();
    });

    // List columns: the models give the headers; the widths are set here.
    p.step(132, [&] { ListView1->header()->setVisible(true); });
    p.step(134, [&] { ListView1->setColumnWidth(0, twipsToPixels(7000)); });
    p.step(136, [&] { ListView2->header()->setVisible(true); });
    p.step(140, [&] { ListView2->setColumnWidth(0, twipsToPixels(3500)); });
    p.step(142, [&] { ListView2->setColumnWidth(1, twipsToPixels(3500)); });

    // Search controls from the settings store (steps 158 to 184).
    Form1SearchControls controls(*this);
    RestoreSearchOptions(p, *services_.settings, controls);
}

void Form1::Form_Unload() {}
void Form1::PushButton10_Click() {}

}  // namespace qm
