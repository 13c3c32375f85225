// The window routines that act on widgets: placement on the screen, centring a window over another,
// making a translated window once, the catalogue captions of dialog buttons, the screen cursor stack,
// the folder picker and opening links. The decisions behind them are in app/VVCLUtil.
// Main thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class TMultiLang;

// Moves Control to (Left, Top), kept on the screen that holds it.
void MoveControlOnScreen(QWidget* Control, int Left, int Top);
// Centres Form over Over (the screen when null), kept on the screen.
void CenterFormOver(QWidget* Form, const QWidget* Over);
// Makes Form through Make when it is null (its designed texts captured as language 0 and translated to
// the current language, as ClassName's entries say) and centres it over Over; an existing Form is centred
// again only with AlwaysCenter. Windows made here are kept until the program ends.
template <class TForm>
TForm* CreateFormCentered(TForm*& Form, QWidget* Over, bool AlwaysCenter, const std::function<TForm*()>& Make,
                          const std::function<void(QWidget*)>& Translate) {
  if (!Form) {
    Form = Make();
    if (Translate) Translate(Form);
    CenterFormOver(Form, Over);
  } else if (AlwaysCenter) {
    CenterFormOver(Form, Over);
  }
  return Form;
}
// An editable box with a history list: matching history entries are offered as a list under the box
// while the user types, and what was typed is never extended or changed in case behind the user's back.
void OfferHistoryAsList(QComboBox* Combo);
// Every button of Form by its role: OK, Cancel, Yes, No and Help get the catalogue's captions.
void LocalizeDialogButtons(QWidget* Form);
// Pushes the current screen cursor and sets Cursor; PopCursor restores the last one pushed (nothing when
// none is left).
void PushCursor(Qt::CursorShape Cursor);
void PopCursor();
// The folder picker: true with Path set when the user chose a folder.
bool BrowseForFolder(QWidget* Owner, const std::u16string& Title, const std::u16string& Root,
                     std::u16string& Path);
// Opens Target with the desktop's handler; on failure shows an error box. True when it was started.
bool OpenURL(const std::u16string& Target);
// Opens a link text (see LinkTarget): mail, web, a path, or a file of the program folder.
void OpenLink(const std::u16string& Text, const std::u16string& ProgramDir);
// The first of Names that is an installed font; empty when none.
std::string FirstInstalledFont(const std::vector<std::string>& Names);
