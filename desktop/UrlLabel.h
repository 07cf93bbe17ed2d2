// A text label that opens a link through the shell when clicked and
// highlights itself under the mouse.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Controls.h"

namespace hv {

enum class TUrlType {
  utCustom,
  utFile,
  utFtp,
  utGopher,
  utHttp,
  utHttps,
  utMail,
  utNews,
  utTelnet,
  utWais
};

// Every occurrence of `pattern` (compared without regard to letter case),
// found left to right, replaced by `replacement`; the text between is
// copied unchanged. An empty pattern replaces nothing.
std::string ReplaceAllText(std::string_view text, std::string_view pattern,
                           std::string_view replacement);

class TUrlLabel : public TLabel {
 public:
  TUrlLabel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds);

  const std::string& URL() const { return url_; }
  void SetURL(const std::string& url);
  TUrlType URLType() const { return urlType_; }
  void SetURLType(TUrlType type);
  const std::string& CustomURLType() const { return customUrlType_; }
  void SetCustomURLType(const std::string& prefix);
  const std::string& MailSubject() const { return mailSubject_; }
  void SetMailSubject(const std::string& subject);
  const std::vector<std::string>& MailBody() const { return mailBody_; }
  void SetMailBody(std::vector<std::string> lines);
  void AddMailBodyLine(const std::string& line);
  const std::string& Cc() const { return cc_; }
  void SetCc(const std::string& cc);
  const std::string& Bcc() const { return bcc_; }
  void SetBcc(const std::string& bcc);
  bool ShowUrlHint() const { return showUrlHint_; }
  void SetShowUrlHint(bool show);
  bool DetectMouse() const { return detectMouse_; }
  void SetDetectMouse(bool detect);
  bool UnderlineOnEnter() const { return underlineOnEnter_; }
  void SetUnderlineOnEnter(bool underline) { underlineOnEnter_ = underline; }
  Color ActiveColor() const { return activeColor_; }
  void SetActiveColor(Color c) { activeColor_ = c; }
  Color InactiveColor() const { return inactiveColor_; }
  void SetInactiveColor(Color c) { inactiveColor_ = c; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }

  std::function<void()> OnMouseEnter;
  std::function<void()> OnMouseLeave;

  // The text handed to the shell.
  std::string ComposeURL() const;
  // The user clicks the label: the link opens; failures are silent.
  void OpenLink();
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  void UrlChanged();

  std::string url_;
  TUrlType urlType_ = TUrlType::utCustom;
  std::string customUrlType_;
  std::string mailSubject_;
  std::vector<std::string> mailBody_;
  std::string cc_;
  std::string bcc_;
  bool showUrlHint_ = true;
  bool detectMouse_ = true;
  bool underlineOnEnter_ = true;
  Color activeColor_ = clBlue;
  Color inactiveColor_ = clNavy;
  std::string hint_;
};

}  // namespace hv
