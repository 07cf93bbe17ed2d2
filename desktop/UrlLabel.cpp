// Link labels: composing the link, the hint and the mouse feedback.
#include "desktop/UrlLabel.h"

#include "common/TextCompare.h"
#include "platform/Platform.h"

namespace hv {

namespace {

const char* Prefix(TUrlType type) {
  switch (type) {
    case TUrlType::utFile:
      return "file://";
    case TUrlType::utFtp:
      return "ftp://";
    case TUrlType::utGopher:
      return "gopher://";
    case TUrlType::utHttp:
      return "http://";
    case TUrlType::utHttps:
      return "https://";
    case TUrlType::utMail:
      return "mailto:";
    case TUrlType::utNews:
      return "news:";
    case TUrlType::utTelnet:
      return "telnet:";
    case TUrlType::utWais:
      return "wais:";
    case TUrlType::utCustom:
      break;
  }
  return "";
}

}  // namespace

std::string ReplaceAllText(std::string_view text, std::string_view pattern,
                           std::string_view replacement) {
  if (pattern.empty()) return std::string(text);
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (i + pattern.size() <= text.size() &&
        EqualsIgnoringCase(text.substr(i, pattern.size()), pattern)) {
      out += replacement;
      i += pattern.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

TUrlLabel::TUrlLabel(TForm& owner, int id, const char* name, TControl* parent, Bounds bounds)
    : TLabel(owner, id, name, parent, bounds) {
  SetFontColor(clNavy);
  Font f = GetFont();
  f.name = "Tahoma";  // the window layer falls back to Arial where it is missing
  SetFont(f);
  SetShowAccelChar(false);  // links show ampersands as they are
  OnClick = [this] { OpenLink(); };
}

std::string TUrlLabel::ComposeURL() const {
  if (urlType_ == TUrlType::utCustom) return customUrlType_ + url_;
  std::string link = std::string(Prefix(urlType_)) + url_;
  if (urlType_ != TUrlType::utMail) return link;
  std::string body;
  for (const std::string& line : mailBody_) body += line + "\r\n";
  body = ReplaceAllText(body, "\r\n", "%0D%0A");
  bool first = true;
  auto append = [&](const char* field, const std::string& value) {
    if (value.empty()) return;
    link += first ? "?" : "&";
    link += field;
    link += value;
    first = false;
  };
  append("Subject=", mailSubject_);
  append("Body=", body);
  append("Bcc=", bcc_);
  append("Cc=", cc_);
  return link;
}

void TUrlLabel::UrlChanged() {
  if (showUrlHint_) hint_ = ComposeURL();
}

void TUrlLabel::SetURL(const std::string& url) {
  url_ = url;
  UrlChanged();
}

void TUrlLabel::SetURLType(TUrlType type) {
  urlType_ = type;
  UrlChanged();
}

void TUrlLabel::SetCustomURLType(const std::string& prefix) {
  customUrlType_ = prefix;
}

void TUrlLabel::SetMailSubject(const std::string& subject) {
  mailSubject_ = subject;
  UrlChanged();
}

void TUrlLabel::SetMailBody(std::vector<std::string> lines) {
  mailBody_ = std::move(lines);
  UrlChanged();
}

void TUrlLabel::AddMailBodyLine(const std::string& line) {
  mailBody_.push_back(line);
  UrlChanged();
}

void TUrlLabel::SetCc(const std::string& cc) {
  cc_ = cc;
  UrlChanged();
}

void TUrlLabel::SetBcc(const std::string& bcc) {
  bcc_ = bcc;
  UrlChanged();
}

void TUrlLabel::SetShowUrlHint(bool show) {
  if (show == showUrlHint_) return;
  if (!show && hint_ == ComposeURL()) hint_.clear();  // a hint set otherwise stays
  showUrlHint_ = show;
  UrlChanged();
}

void TUrlLabel::SetDetectMouse(bool detect) {
  detectMouse_ = detect;
  Font f = GetFont();
  // Without mouse feedback the label is always underlined.
  f.underline = !detect;
  SetFont(f);
}

void TUrlLabel::OpenLink() {
  Os().ShellOpen(ComposeURL());
}

void TUrlLabel::MouseEnter() {
  if (detectMouse_) {
    SetFontColor(activeColor_);
    if (underlineOnEnter_) {
      Font f = GetFont();
      f.bold = false;
      f.underline = true;
      SetFont(f);
    }
  }
  if (OnMouseEnter) OnMouseEnter();
}

void TUrlLabel::MouseLeave() {
  if (detectMouse_) {
    SetFontColor(inactiveColor_);
    Font f = GetFont();
    f.bold = false;
    f.underline = false;
    SetFont(f);
  }
  if (OnMouseLeave) OnMouseLeave();
}

}  // namespace hv
