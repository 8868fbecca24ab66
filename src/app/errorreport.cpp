#include "app/errorreport.h"

namespace qm {

QString supportEmail() {
    return QStringLiteral(QM_SUPPORT_EMAIL);
}

QString errorLocation(const QString& object, const QString& procedure, const QString& stamp) {
    return QStringLiteral("in ") + stamp + u'.' + object + u'.' + procedure + u' ';
}

QString composeErrorReport(const QString& description, const QString& location, int step) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + supportEmail();
}

Procedure::Procedure(MessageBoxes& boxes, QString object, QString procedure, QString stamp)
    : boxes_(boxes), location_(errorLocation(object, procedure, stamp)) {}

void Procedure::report(const QString& description) {
    ++reports_;
    boxes_.message(composeErrorReport(description, location_, current_),
                   QString::fromLatin1(kErrorTitle), MessageBoxes::Icon::Warning);
}

}  // namespace qm
