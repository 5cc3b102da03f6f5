#include "app/Wait.h"

#include "core/Text.h"

tMx_Wait::tMx_Wait(std::function<std::optional<std::string>()> aLanguage,
                   std::unique_ptr<platform::WaitWindowPresenter> aPresenter)
    : fLanguage(std::move(aLanguage)), fPresenter(std::move(aPresenter)) {
  SetText({});
}

tMx_Wait::~tMx_Wait() = default;

void tMx_Wait::Start(std::string_view aText) {
  SetText(aText);
  fPresenter->Show();
  fStarted = true;
  platform::ProcessPendingMessages();
}

void tMx_Wait::Stop() {
  fStarted = false;
  fPresenter->Hide();
}

void tMx_Wait::SetText(std::string_view aExtraText) {
  if (std::optional<std::string> language = fLanguage ? fLanguage() : std::nullopt) {
    fLabelText = LowerCase(*language) == "en" ? kText_EN : kText_IT;
  }
  if (!aExtraText.empty()) {
    fLabelText.append("\r\n");
    fLabelText.append(aExtraText);
  }
  fLabelSize = fPresenter->MeasureLabel(fLabelText);
  // 1.3 in binary is a hair above 1.3, so whole products are not cut one short.
  fClientWidth = static_cast<int>(1.3 * fLabelSize.fWidth);
  fLabelTop = (ClientHeight() - fLabelSize.fHeight) / 2;
  fLabelLeft = (fClientWidth - fLabelSize.fWidth) / 2;
  fPresenter->Arrange(fLabelText, fClientWidth, fLabelLeft, fLabelTop);
}
