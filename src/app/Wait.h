#pragma once
// The wait window: a small top-most window that tells the user to wait, in Italian or in
// English, with an optional second line.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/UserInterface.h"

class tMx_Wait {
 public:
  static constexpr char kText_IT[] = "Attendere prego ...";
  static constexpr char kText_EN[] = "Wait please ...";

  // aLanguage gives the application's language, or nullopt while there is no application
  // object (the label then keeps its text). Built hidden, with the text set once; no
  // system window exists until the first Start.
  explicit tMx_Wait(std::function<std::optional<std::string>()> aLanguage,
                    std::unique_ptr<platform::WaitWindowPresenter> aPresenter = platform::CreateWaitWindowPresenter());
  ~tMx_Wait();
  tMx_Wait(const tMx_Wait&) = delete;
  tMx_Wait& operator=(const tMx_Wait&) = delete;

  // Sets the text with aText as the second line, shows the window and lets it paint.
  // Call it, and Stop, on the thread that started the window first: it owns the window.
  void Start(std::string_view aText = {});
  void Stop();
  bool Started() const { return fStarted; }

  // The text setter: English when the language is "en" in any case, Italian otherwise;
  // aExtraText, when not empty, on a line of its own. The client area becomes 1.3 times as
  // wide as the label, which is centred in it.
  void SetText(std::string_view aExtraText);

  const std::string& LabelText() const { return fLabelText; }
  platform::WaitLabelSize LabelSize() const { return fLabelSize; }
  int LabelLeft() const { return fLabelLeft; }
  int LabelTop() const { return fLabelTop; }
  int ClientWidth() const { return fClientWidth; }
  int ClientHeight() const { return platform::kWaitClientHeight; }
  // The system window, 0 before the first Start (and always without a display).
  platform::WindowHandle Handle() const { return fPresenter->Handle(); }
  bool IsVisible() const { return fPresenter->IsVisible(); }

 private:
  std::function<std::optional<std::string>()> fLanguage;
  std::unique_ptr<platform::WaitWindowPresenter> fPresenter;
  bool fStarted = false;
  std::string fLabelText;
  platform::WaitLabelSize fLabelSize;
  int fClientWidth = platform::kWaitInitialClientWidth;
  int fLabelLeft = 0;
  int fLabelTop = 0;
};
