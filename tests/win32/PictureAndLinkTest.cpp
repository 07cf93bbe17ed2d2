// A page with a background picture, texts and frames over it, and link
// labels that follow the mouse, as the About page has them; what the
// screen shows is read back from the display.
#include <gtest/gtest.h>

#include <string>

#include "desktop/UrlLabel.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

using test::FindDescendant;

// A label that counts what the window layer reports about the mouse.
class CountingLabel : public TLabel {
 public:
  using TLabel::TLabel;
  void MouseEnter() override { ++enters; }
  void MouseLeave() override { ++leaves; }
  int enters = 0;
  int leaves = 0;
};

class PictureForm : public TForm {
 public:
  PictureForm()
      : TForm("Picture"),
        pages(*this, 800, "Pages", nullptr, {0, 0, 420, 330}, {"About", "Plain"}),
        about(*this, 801, "About", pages, 0),
        plain(*this, 802, "Plain", pages, 1),
        picture(*this, 810, "Picture", &about, {0, 0, 412, 300}),
        title(*this, 811, "Title", &about, {16, 8, 380, 20}, "Ab"),
        frame(*this, 812, "Frame", &about, {16, 118, 380, 60}),
        link(*this, 813, "Link", &frame, {112, 7, 260, 20}),
        counted(*this, 814, "Counted", &about, {16, 200, 200, 20}, "counted"),
        plainText(*this, 820, "PlainText", &plain, {16, 8, 380, 20}, "Ab") {
    SetPosition(200, 150);
    SetClientSize(420, 330);
    picture.SetPicture("ABOUTBG");
    link.SetText("https://horavia.example.com/");
    link.SetURL("https://horavia.example.com/");
    link.SetShowUrlHint(false);
    link.OnMouseEnter = [this] { ++linkEnters; };
    link.OnMouseLeave = [this] { ++linkLeaves; };
  }

  TPageControl pages;
  TPage about;
  TPage plain;
  TImage picture;
  TLabel title;
  TFrame frame;
  TUrlLabel link;
  CountingLabel counted;
  TLabel plainText;
  int linkEnters = 0;
  int linkLeaves = 0;
};

class PictureAndLinks : public testing::Test {
 protected:
  void SetUp() override {
    form.Show();
    SetWindowPos(window.Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetCursorPos(5, 700);  // away from the form
    test::PumpFor(0.3);
  }
  HWND Control(int id) { return FindDescendant(window.Window(), id); }

  // The colour the display shows at a point of a window's client area.
  static COLORREF ScreenPixel(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
  }

  // The picture's own colour at a point of `hwnd`'s client area.
  COLORREF PicturePixel(HWND hwnd, int x, int y) {
    HWND image = Control(810);
    POINT p = {x, y};
    MapWindowPoints(hwnd, image, &p, 1);
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF colour = GetPixel(dc, p.x, p.y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
  }

  // Pixels of the label's text in `colour` on the display.
  static int TextPixels(HWND label, COLORREF colour) {
    RECT client;
    GetClientRect(label, &client);
    POINT origin = {0, 0};
    ClientToScreen(label, &origin);
    HDC screen = GetDC(nullptr);
    int count = 0;
    for (int y = 0; y < client.bottom; ++y)
      for (int x = 0; x < client.right; ++x)
        if (GetPixel(screen, origin.x + x, origin.y + y) == colour) ++count;
    ReleaseDC(nullptr, screen);
    return count;
  }

  static LOGFONTA FontOf(HWND hwnd) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
  }

  // Puts the mouse on the middle of a window.
  static void MouseOnto(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }

  PictureForm form;
  test::Realized window{form};
};

TEST_F(PictureAndLinks, ABitmapPictureIsStretchedToItsControl) {
  HWND image = Control(810);
  for (const Bounds& bounds : {Bounds{0, 0, 412, 300}, Bounds{0, 0, 300, 200}}) {
    SCOPED_TRACE(bounds.width);
    form.picture.SetBounds(bounds);
    RECT client;
    GetClientRect(image, &client);
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(info.bmWidth, client.right);
    EXPECT_EQ(info.bmHeight, client.bottom);
    // The stored (compressed) pixels, drawn: nearly white at the top right, away from the lines
    // drawn over the ground, and a light blue-grey at the bottom left.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF light = GetPixel(dc, client.right * 371 / 412, 0);
    const COLORREF dark = GetPixel(dc, 0, client.bottom - 1);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_GE(GetRValue(light), 0xF6) << std::hex << light;
    EXPECT_GE(GetBValue(light), 0xF6) << std::hex << light;
    EXPECT_GE(GetRValue(dark), 0xD0) << std::hex << dark;
    EXPECT_LE(GetRValue(dark), 0xDA) << std::hex << dark;
    EXPECT_GE(GetBValue(dark), 0xEA) << std::hex << dark;
  }
}

// Where no text is drawn, texts and frames over the picture show the
// picture itself, not a grey box; elsewhere the window's colour stays.
TEST_F(PictureAndLinks, TextsAndFramesOverThePictureShowIt) {
  struct Case {
    const char* name;
    int id;
    int x;
    int y;
  };
  const Case cases[] = {
      {"beside the title's text", 811, 300, 10},
      {"inside the frame", 812, 40, 45},
      {"beside the link's text", 813, 255, 10},
      {"beside a label in no frame", 814, 190, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND hwnd = Control(c.id);
    ASSERT_NE(hwnd, nullptr);
    const COLORREF expected = PicturePixel(hwnd, c.x, c.y);
    EXPECT_NE(expected, GetSysColor(COLOR_BTNFACE)) << "the picture is not grey there";
    EXPECT_EQ(ScreenPixel(hwnd, c.x, c.y), expected);
  }

  form.pages.SetActivePageIndex(1);
  test::PumpFor(0.2);
  EXPECT_EQ(ScreenPixel(Control(820), 300, 10), GetSysColor(COLOR_BTNFACE))
      << "a page without a picture keeps the window colour";
}

TEST_F(PictureAndLinks, OnlyLabelsThatShowAmpersandsAsTheyAreHaveNoPrefix) {
  struct Case {
    int id;
    bool noPrefix;
  };
  for (const Case& c : {Case{811, false}, Case{813, true}, Case{814, false}}) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ((GetWindowLongA(Control(c.id), GWL_STYLE) & SS_NOPREFIX) != 0, c.noPrefix);
  }
  form.title.SetShowAccelChar(false);
  form.title.SetText("Q&A");
  EXPECT_TRUE(GetWindowLongA(Control(811), GWL_STYLE) & SS_NOPREFIX);
}

int CALLBACK FirstFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM found) {
  if (font->lfFaceName[0] == '@') return 1;  // the vertical variants
  *reinterpret_cast<std::string*>(found) = font->lfFaceName;
  return 0;
}

// Some font face that is installed here (which ones are, varies).
std::string AnInstalledFace() {
  std::string face;
  LOGFONTA all{};
  all.lfCharSet = DEFAULT_CHARSET;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, FirstFace, reinterpret_cast<LPARAM>(&face), 0);
  ReleaseDC(nullptr, screen);
  return face;
}

TEST_F(PictureAndLinks, AFontFaceThatIsNotInstalledFallsBackToArial) {
  const std::string installed = AnInstalledFace();
  ASSERT_FALSE(installed.empty());
  struct Case {
    std::string asked;
    const char* face;
  };
  for (const Case& c :
       {Case{installed, installed.c_str()}, Case{"No Such Face Horavia", "Arial"}}) {
    SCOPED_TRACE(c.asked);
    Font font = form.title.GetFont();
    font.name = c.asked;
    font.height = 17;
    form.title.SetFont(font);
    EXPECT_STREQ(FontOf(Control(811)).lfFaceName, c.face);
  }
}

TEST_F(PictureAndLinks, ALinkFollowsTheMouseOnScreen) {
  HWND link = Control(813);
  const COLORREF blue = RGB(0, 0, 255);
  const COLORREF navy = RGB(0, 0, 128);
  ASSERT_EQ(form.link.FontColor(), clNavy);
  EXPECT_GT(TextPixels(link, navy), 0);
  EXPECT_EQ(TextPixels(link, blue), 0);
  EXPECT_FALSE(FontOf(link).lfUnderline);

  MouseOnto(link);
  ASSERT_TRUE(test::PumpUntil([&] { return form.linkEnters == 1; }, 3.0)) << "entry reported";
  test::PumpFor(0.2);
  EXPECT_EQ(form.link.FontColor(), clBlue);
  EXPECT_TRUE(FontOf(link).lfUnderline) << "the underlined font reached the window";
  EXPECT_GT(TextPixels(link, blue), 0) << "the new colour shows";
  EXPECT_EQ(TextPixels(link, navy), 0);

  SetCursorPos(5, 700);
  ASSERT_TRUE(test::PumpUntil([&] { return form.linkLeaves == 1; }, 3.0)) << "exit reported";
  test::PumpFor(0.2);
  EXPECT_EQ(form.linkEnters, 1) << "one entry for the whole stay";
  EXPECT_EQ(form.link.FontColor(), clNavy);
  EXPECT_FALSE(FontOf(link).lfUnderline);
  EXPECT_GT(TextPixels(link, navy), 0);
  EXPECT_EQ(TextPixels(link, blue), 0);

  // A change of the colour alone shows too.
  form.link.SetUnderlineOnEnter(false);
  MouseOnto(link);
  ASSERT_TRUE(test::PumpUntil([&] { return form.linkEnters == 2; }, 3.0));
  test::PumpFor(0.2);
  EXPECT_FALSE(FontOf(link).lfUnderline);
  EXPECT_GT(TextPixels(link, blue), 0);
  EXPECT_EQ(TextPixels(link, navy), 0);
  SetCursorPos(5, 700);
  ASSERT_TRUE(test::PumpUntil([&] { return form.linkLeaves == 2; }, 3.0));
}

TEST_F(PictureAndLinks, OnlyLabelsThatReactToClicksHearOfTheMouse) {
  HWND label = Control(814);
  MouseOnto(label);
  test::PumpFor(0.3);
  SetCursorPos(5, 700);
  test::PumpFor(0.3);
  EXPECT_EQ(form.counted.enters, 0);
  EXPECT_EQ(form.counted.leaves, 0);

  form.counted.OnClick = [] {};
  MouseOnto(label);
  ASSERT_TRUE(test::PumpUntil([&] { return form.counted.enters == 1; }, 3.0));
  SetCursorPos(5, 700);
  ASSERT_TRUE(test::PumpUntil([&] { return form.counted.leaves == 1; }, 3.0));
  EXPECT_EQ(form.counted.enters, 1);
}

}  // namespace
}  // namespace hv
