// What the preview windows borrow from the main window: their messages go to the program's message
// boxes, their status text to the main window's status line, their conversions to the program's
// converter list, and their archive passwords to the search's password questions. While a conversion
// runs the user's input is held back and an Escape key is remembered, so that a conversion can be
// cancelled and nothing closes or reloads a window in the middle of it.
//
// Owned by the main window and installed with SetPreviewHost while it lives. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "viewer/PreviewModel.h"
#include "viewer/ui/InputGuard.h"

class TMainPreviewHost : public IPreviewHost {
 public:
  std::function<std::u16string()> GetStatus;
  std::function<void(const std::u16string&)> SetStatus;
  std::function<TQVConverters*()> Converters;
  std::function<bool(const std::string& ArcName, const std::string& ItemName, std::string& Password)>
      Password;

  void ShowError(const std::u16string& Text) override;
  void ShowWarning(const std::u16string& Text) override;
  std::u16string GetStatusText() override { return GetStatus ? GetStatus() : std::u16string(); }
  void SetStatusText(const std::u16string& Text) override {
    if (SetStatus) SetStatus(Text);
  }
  TQVConverters* GetConverters() override { return Converters ? Converters() : nullptr; }
  bool ExtractPassword(const std::string& ArcName, const std::string& ItemName, std::string& Pwd) override {
    return Password && Password(ArcName, ItemName, Pwd);
  }
  void ConversionStarted() override { Guard_.Begin(); }
  void ConversionEnded() override { Guard_.End(); }
  bool EscapePressed() override { return Guard_.EscapePressed(); }
  void OpenURL(const std::u16string& URL) override;

 private:
  TInputGuard Guard_;
};
