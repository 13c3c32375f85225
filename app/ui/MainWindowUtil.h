// Small helpers the main window's source files share: text between the logic's UTF-16 strings and Qt's,
// the date edits' days, and the search panel's designed width. Private to app/ui/MainWindow*.cpp and
// MainSearchPanel.cpp.
#pragma once

#include <QDate>
#include <QDateEdit>
#include <QString>
#include <string>

#include "core/WinUtils.h"

namespace {

inline QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }
inline std::u16string U(const QString& S) { return S.toStdU16String(); }

// TDateTime counts days from this date.
const QDate kDateOrigin(1899, 12, 30);

inline TDateTime DateOf(const QDateEdit* Edit) {
  return Edit->date() == Edit->minimumDate() ? 0 : static_cast<TDateTime>(kDateOrigin.daysTo(Edit->date()));
}

inline void SetDate(QDateEdit* Edit, TDateTime Date) {
  Edit->setDate(Date <= 0 ? Edit->minimumDate() : kDateOrigin.addDays(static_cast<qint64>(Date)));
}

// The width of the search panel as designed, its lower bound when the splitter moves.
constexpr int kSearchPanelWidth = 280;

}  // namespace
