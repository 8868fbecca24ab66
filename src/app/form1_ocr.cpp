// "Read scanned pages (OCR)": the box in the "Option" frame (stored as the
// setting "OCR", "True"/"False", by Check3_Click in form1_options.cpp),
// unavailable without tesseract. The search reads scanned pages when it is
// ticked (Form1::searchRequest); the add-time check never reads them.
#include <QCheckBox>

#include "app/errorreport.h"
#include "app/form1.h"
#include "extraction/ocr.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "terms/storedvalues.h"

namespace qm {

void Form1::setUpOcrBox(Procedure& p) {
    p.step(188, [&] {
        tesseract_ = config_.tesseract ? *config_.tesseract : findTesseract();
        if (tesseract_.isEmpty()) {
            Check3->setEnabled(false);
            Check3->setToolTip(
                QStringLiteral("Reading scanned pages needs tesseract: please install the "
                               "package %1 (sudo apt install %1).")
                    .arg(QString::fromLatin1(kOcrPackage)));
            return;
        }
        Check3->setToolTip(QStringLiteral(
            "Scanned pages (without text of their own) are read with OCR during the search: "
            "about a second a page, once; their text is kept."));
        const QString stored =
            services_.settings->getSetting(QStringLiteral("OCR"), QStringLiteral("False"));
        const bool ticked = parseStoredBoolean(QStringLiteral("OCR"), stored);
        // Restoring is not a change: the stored value stays as it is.
        const QSignalBlocker quiet(Check3);
        Check3->setChecked(ticked);
    });
}

}  // namespace qm
