#pragma once
// The program's one exception: an error with a user-readable description.

#include <QString>
#include <exception>
#include <string>
#include <utility>

namespace qm {

class Error : public std::exception {
  public:
    explicit Error(QString description)
        : description_(std::move(description)), utf8_(description_.toStdString()) {}
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    QString description_;
    std::string utf8_;
};

}  // namespace qm
