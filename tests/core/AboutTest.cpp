// The About page: link labels, the version resource and the page's texts.
#include "desktop/UrlLabel.h"
#include "desktop/VersionInfo.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {
namespace {

// Builds a VS_VERSIONINFO block as the resource compiler lays it out.
class VersionBlock {
 public:
  static std::vector<uint8_t> Make(
      uint32_t ms, uint32_t ls, const std::u16string& table,
      const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
    std::vector<uint8_t> fixed;
    for (uint32_t v :
         {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
      Put32(fixed, v);
    std::vector<std::vector<uint8_t>> entries;
    for (const auto& [key, value] : strings) {
      std::u16string v = value + u'\0';
      std::vector<uint8_t> bytes;
      for (char16_t c : v) Put16(bytes, c);
      entries.push_back(Node(key, bytes, static_cast<uint16_t>(v.size()), 1, {}));
    }
    auto tableNode = Node(table, {}, 0, 1, entries);
    auto stringFileInfo = Node(u"StringFileInfo", {}, 0, 1, {tableNode});
    return Node(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0,
                {stringFileInfo});
  }

 private:
  static void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  static void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
  }
  static void Align(std::vector<uint8_t>& b) {
    while (b.size() % 4) b.push_back(0);
  }
  static std::vector<uint8_t> Node(const std::u16string& key, const std::vector<uint8_t>& value,
                                   uint16_t valueLength, uint16_t type,
                                   const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> b(6, 0);
    for (char16_t c : key) Put16(b, c);
    Put16(b, 0);
    Align(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
      Align(b);
      b.insert(b.end(), child.begin(), child.end());
    }
    const uint16_t length = static_cast<uint16_t>(b.size());
    b[0] = static_cast<uint8_t>(length);
    b[1] = static_cast<uint8_t>(length >> 8);
    b[2] = static_cast<uint8_t>(valueLength);
    b[3] = static_cast<uint8_t>(valueLength >> 8);
    b[4] = static_cast<uint8_t>(type);
    return b;
  }
};

std::vector<uint8_t> ProgramVersionBlock() {
  return VersionBlock::Make(0x00010004, 0x00000003, u"040904E4",
                            {{u"CompanyName", u"Horavia developers"},
                             {u"FileDescription", u"Radio clock"},
                             {u"FileVersion", u"1.4.0.3"},
                             {u"InternalName", u"Horavia"},
                             {u"LegalCopyright", u"Copyright (C) 2026 Horavia developers \u00e4"},
                             {u"LegalTrademarks", u""},
                             {u"OriginalFilename", u"Horavia.exe"},
                             {u"ProductName", u"Horavia"},
                             {u"ProductVersion", u"1.4.0.3"},
                             {u"Comments", u"Sets the PC clock"}});
}

class About : public CoreFixture {
 protected:
  TForm form{"test"};
};

TEST_F(About, MailLinksComposeTheirFieldsInOrder) {
  TUrlLabel link(form, 1, "UrlLabel", nullptr, {});
  link.SetURL("support@horavia.example.com");
  link.SetURLType(TUrlType::utMail);
  link.SetMailSubject("Horavia");
  link.SetMailBody({"a", "b"});
  EXPECT_EQ(link.ComposeURL(),
            "mailto:support@horavia.example.com?Subject=Horavia&Body=a%0D%0Ab%0D%0A");
  link.SetMailSubject("");
  EXPECT_EQ(link.ComposeURL(), "mailto:support@horavia.example.com?Body=a%0D%0Ab%0D%0A");
  link.SetMailBody({});
  link.SetBcc("x@example.com");
  EXPECT_EQ(link.ComposeURL(), "mailto:support@horavia.example.com?Bcc=x@example.com");
  link.SetCc("y@example.com");
  link.SetMailSubject("Two words");  // no escaping beyond the line breaks
  EXPECT_EQ(link.ComposeURL(),
            "mailto:support@horavia.example.com?Subject=Two words&Bcc=x@example.com&Cc=y@"
            "example.com");
}

TEST_F(About, EveryLinkTypeHasItsPrefix) {
  struct Case {
    TUrlType type;
    const char* link;
  } cases[] = {{TUrlType::utCustom, "horavia.example.com"},
               {TUrlType::utFile, "file://horavia.example.com"},
               {TUrlType::utFtp, "ftp://horavia.example.com"},
               {TUrlType::utGopher, "gopher://horavia.example.com"},
               {TUrlType::utHttp, "http://horavia.example.com"},
               {TUrlType::utHttps, "https://horavia.example.com"},
               {TUrlType::utMail, "mailto:horavia.example.com"},
               {TUrlType::utNews, "news:horavia.example.com"},
               {TUrlType::utTelnet, "telnet:horavia.example.com"},
               {TUrlType::utWais, "wais:horavia.example.com"}};
  TUrlLabel link(form, 1, "UrlLabel", nullptr, {});
  link.SetURL("horavia.example.com");
  for (const Case& c : cases) {
    link.SetURLType(c.type);
    EXPECT_EQ(link.ComposeURL(), c.link);
  }
  link.SetURLType(TUrlType::utCustom);
  link.SetCustomURLType("irc://");
  EXPECT_EQ(link.ComposeURL(), "irc://horavia.example.com");
}

TEST_F(About, ReplaceAllTextIgnoresCaseAndCopiesTheRest) {
  EXPECT_EQ(ReplaceAllText("a\r\nb\r\n", "\r\n", "%0D%0A"), "a%0D%0Ab%0D%0A");
  EXPECT_EQ(ReplaceAllText("xAbyaBz", "ab", "-"), "x-y-z");
  EXPECT_EQ(ReplaceAllText("aaa", "aa", "b"), "ba");  // left to right, no overlap
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
}

TEST_F(About, TheHintFollowsTheLinkWhileShowUrlHintIsOn) {
  TUrlLabel link(form, 1, "UrlLabel", nullptr, {});
  link.SetURL("horavia.example.com");
  link.SetURLType(TUrlType::utHttps);
  EXPECT_EQ(link.Hint(), "https://horavia.example.com");
  link.SetURL("other.example.com");
  EXPECT_EQ(link.Hint(), "https://other.example.com");
  link.SetShowUrlHint(false);
  EXPECT_EQ(link.Hint(), "");  // it still equalled the link
  link.SetURL("third.example.com");
  EXPECT_EQ(link.Hint(), "");
  link.SetShowUrlHint(true);
  EXPECT_EQ(link.Hint(), "https://third.example.com");
  link.SetHint("my own words");
  link.SetShowUrlHint(false);
  EXPECT_EQ(link.Hint(), "my own words");  // set otherwise: it stays
}

TEST_F(About, MouseFeedbackColoursAndUnderlines) {
  TUrlLabel link(form, 1, "UrlLabel", nullptr, {});
  EXPECT_EQ(link.FontColor(), clNavy);
  EXPECT_EQ(link.GetFont().name, "Tahoma");
  int entered = 0;
  link.OnMouseEnter = [&] { ++entered; };
  link.UserMouseEnter();
  EXPECT_EQ(link.FontColor(), clBlue);
  EXPECT_TRUE(link.GetFont().underline);
  EXPECT_EQ(entered, 1);
  link.UserMouseLeave();
  EXPECT_EQ(link.FontColor(), clNavy);
  EXPECT_FALSE(link.GetFont().underline);
  // Without mouse feedback the label is underlined at once and stays so.
  link.SetDetectMouse(false);
  EXPECT_TRUE(link.GetFont().underline);
  link.UserMouseEnter();
  link.UserMouseLeave();
  EXPECT_TRUE(link.GetFont().underline);
  EXPECT_EQ(link.FontColor(), clNavy);
  EXPECT_EQ(entered, 2);  // the event is raised all the same
}

TEST_F(About, AClickOpensTheLinkThroughTheShell) {
  TUrlLabel link(form, 1, "UrlLabel", nullptr, {});
  link.SetURL("horavia.example.com");
  link.UserClick();
  EXPECT_EQ(os.shellOpened, std::vector<std::string>{"horavia.example.com"});
}

TEST_F(About, VersionValuesComeFromTheResourceBlock) {
  os.versionResource = ProgramVersionBlock();
  TVersionInfo info;
  ASSERT_TRUE(info.VersionInfoAvailable());
  EXPECT_EQ(info.MainVersion(), 1);
  EXPECT_EQ(info.SubVersion(), 4);
  EXPECT_EQ(info.Release(), 0);
  EXPECT_EQ(info.Built(), 3);
  EXPECT_EQ(info.StringFileInfo(), "040904E4");
  EXPECT_EQ(info.FileVersion(), "1.4.0.3");
  EXPECT_EQ(info.LegalCopyright(), "Copyright (C) 2026 Horavia developers \xe4");
  EXPECT_EQ(info.LegalTrademarks(), "");
  EXPECT_EQ(info.Comments(), "Sets the PC clock");
  EXPECT_EQ(info.OriginalFilename(), "Horavia.exe");
}

TEST_F(About, NoOrABrokenResourceLeavesEverythingEmpty) {
  TVersionInfo none;
  EXPECT_FALSE(none.VersionInfoAvailable());
  EXPECT_EQ(none.FileVersion(), "");
  std::vector<uint8_t> block = ProgramVersionBlock();
  for (size_t cut : {size_t{0}, size_t{5}, size_t{40}, size_t{100}}) {
    os.versionResource.assign(block.begin(), block.begin() + static_cast<long>(cut));
    os.versionResource.resize(std::max<size_t>(cut, 1));
    TVersionInfo broken;
    EXPECT_EQ(broken.FileVersion(), "") << cut;
  }
}

TEST_F(About, ThePageShowsTheVersionTheCopyrightAndPreparesTheMail) {
  os.versionResource = ProgramVersionBlock();
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  EXPECT_EQ(f.LabelVersion.Text(), "Version 1.4.0.3");
  EXPECT_EQ(f.LabelCopyright.Text(), "Copyright (C) 2026 Horavia developers \xe4");
  EXPECT_EQ(f.Label3.Text(), "The application for the Taskbar  Notification Area");
  f.UrlLabel2.UserClick();
  ASSERT_EQ(os.shellOpened.size(), 1u);
  EXPECT_EQ(os.shellOpened[0],
            "mailto:support@horavia.example.com?Subject=Horavia&Body=Horavia - TNA "
            "Application%0D%0AVersion 1.4.0.3%0D%0A----------------------------------%0D%0A");
  f.UrlLabel1.UserClick();
  EXPECT_EQ(os.shellOpened[1], "https://horavia.example.com/");
  EXPECT_EQ(f.UrlLabel1.Hint(), "");  // no hints on this page

  // Designed at 115 pixels per inch (34, 11, 14 pixels), laid out in pixels at 96.
  const std::pair<const TControl*, int> heights[] = {{&f.Label6, 28},    {&f.Label3, 9},
                                                     {&f.UrlLabel1, 12}, {&f.UrlLabel2, 12},
                                                     {&f.Label9, 9},     {&f.Label10, 9}};
  for (const auto& [label, height] : heights) {
    EXPECT_EQ(label->GetFont().height, height) << label->Name();
    EXPECT_EQ(label->GetFont().name, "Tahoma") << label->Name();
  }
}

TEST_F(About, WithoutAResourceTheVersionLabelReadsVersionAlone) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(Main().LabelVersion.Text(), "Version ");
  EXPECT_EQ(Main().LabelCopyright.Text(), "");
}

}  // namespace
}  // namespace hv::test
