#pragma once
// The one error report of the window. A user-facing procedure runs its work as
// numbered steps (100, 102, 104, ...); an exception thrown in a step -- also one
// thrown deep inside a helper without a report of its own -- is shown in the
// report box with the procedure's location and the step's number, and the
// procedure goes on with its next step.

#include <QString>
#include <exception>
#include <utility>

#include "platform/services.h"
#include "text/error.h"

namespace qm {

// The support address of the reports, set at configure time.
QString supportEmail();

// Title of the report box.
inline constexpr const char* kErrorTitle = "Application Error";
inline constexpr const char* kDefaultStamp = "Kestrova2021/08/31";

// Composes the report text exactly: description, CR LF, location, "at line ",
// the step, CR, CR, the support request.
QString composeErrorReport(const QString& description, const QString& location, int step);

// "in <stamp>.<object>.<procedure> ".
QString errorLocation(const QString& object, const QString& procedure,
                      const QString& stamp = QString::fromLatin1(kDefaultStamp));

// A procedure that carries the report. Use:
//   Procedure p(boxes, "Form1", "PushButton2_Click");
//   p.step(100, [&] { ... });
//   p.step(102, [&] { ... });
class Procedure {
  public:
    Procedure(MessageBoxes& boxes, QString object, QString procedure,
              QString stamp = QString::fromLatin1(kDefaultStamp));

    // Runs `body` as step `number`. Any exception it throws is reported and swallowed.
    // Returns false when the step failed.
    template <class F>
    bool step(int number, F&& body) {
        current_ = number;
        try {
            std::forward<F>(body)();
            return true;
        } catch (const Error& e) {
            report(e.description());
        } catch (const std::exception& e) {
            report(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }

    // Reports a description at the current step (for errors noticed without an exception).
    void report(const QString& description);
    // Reports a description at step `number`, which becomes the current step.
    void reportAt(int number, const QString& description) {
        current_ = number;
        report(description);
    }
    int currentStep() const { return current_; }
    const QString& location() const { return location_; }
    int reportCount() const { return reports_; }

  private:
    MessageBoxes& boxes_;
    QString location_;
    int current_ = 100;
    int reports_ = 0;
};

// Names `procedure` as the caller of the handlers a step runs, for as long as
// the scope lives: errors of a handler without a report of its own then go to
// the caller's report, with its location and current step.
class CallingProcedure {
  public:
    CallingProcedure(Procedure*& slot, Procedure& procedure) : slot_(slot), previous_(slot) {
        slot_ = &procedure;
    }
    ~CallingProcedure() { slot_ = previous_; }
    CallingProcedure(const CallingProcedure&) = delete;
    CallingProcedure& operator=(const CallingProcedure&) = delete;

  private:
    Procedure*& slot_;
    Procedure* previous_;
};

}  // namespace qm
