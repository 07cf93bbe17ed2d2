// How the controls look: fonts, pictures and icons, and the colours of texts
// and of what lies over a picture.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/win32/Win32Platform.h"
#include "platform/win32/WindowRecords.h"

namespace hv {

namespace {

COLORREF ToColorRef(Color color) {
  return IsSystemColor(color) ? GetSysColor(static_cast<int>(color & 0xFF)) : (color & 0xFFFFFF);
}

// The picture resource's kind: an icon group, a bitmap, or neither.
enum class PictureKind { None, Icon, Bitmap };

PictureKind KindOfPicture(HINSTANCE instance, const std::string& name) {
  if (name.empty()) return PictureKind::None;
  if (FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(14))) return PictureKind::Icon;
  if (FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(2))) return PictureKind::Bitmap;
  return PictureKind::None;
}

// The bitmap resource `name` drawn at `width` x `height`, stretched smoothly where the sizes
// differ. The resource may be run-length compressed, which the system's drawing of a device-
// independent bitmap takes as it is (loading it as a bitmap object would not). At its own size
// it is kept with its own palette: a quarter of the memory of a bitmap like the screen's.
HBITMAP LoadStretchedBitmap(HINSTANCE instance, const std::string& name, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  HRSRC resource = FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(2));
  HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
  const auto* stored = loaded ? static_cast<const BITMAPINFO*>(LockResource(loaded)) : nullptr;
  if (!stored || stored->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return nullptr;
  const BITMAPINFOHEADER& header = stored->bmiHeader;
  const int storedHeight = std::abs(header.biHeight);
  const DWORD colours =
      header.biClrUsed ? header.biClrUsed : (header.biBitCount <= 8 ? 1u << header.biBitCount : 0);
  const auto* palette =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(stored) + header.biSize);
  const auto* bits = reinterpret_cast<const BYTE*>(palette + colours);

  HDC screen = GetDC(nullptr);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP result = nullptr;
  if (header.biWidth == width && storedHeight == height && colours > 0 && colours <= 256) {
    // The same pixels, uncompressed, with the same palette.
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD palette[256];
    } own{};
    own.header = header;
    own.header.biSize = sizeof(BITMAPINFOHEADER);
    own.header.biCompression = BI_RGB;
    own.header.biSizeImage = 0;
    std::copy(palette, palette + colours, own.palette);
    void* pixels = nullptr;
    result = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&own), DIB_RGB_COLORS, &pixels,
                              nullptr, 0);
  } else {
    result = CreateCompatibleBitmap(screen, width, height);
  }
  if (result) {
    HGDIOBJ old = SelectObject(to, result);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchDIBits(to, 0, 0, width, height, 0, 0, header.biWidth, storedHeight, bits, stored,
                  DIB_RGB_COLORS, SRCCOPY);
    SelectObject(to, old);
  }
  DeleteDC(to);
  ReleaseDC(nullptr, screen);
  return result;
}

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

}  // namespace

void WindowLayer::CreateDefaultFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  bool haveMetrics = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
  if (!haveMetrics) {
    // Systems before Vista know the structure without its last field.
    metrics.cbSize = sizeof(metrics) - sizeof(int);
    haveMetrics = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
  }
  if (haveMetrics) {
    defaultLogFont_ = metrics.lfMessageFont;
  } else {
    defaultLogFont_.lfHeight = -MulDiv(8, dpi_, 72);
    defaultLogFont_.lfWeight = FW_NORMAL;
    defaultLogFont_.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(defaultLogFont_.lfFaceName, "Tahoma", LF_FACESIZE);
  }
  defaultFont_ = CreateFontIndirectA(&defaultLogFont_);
}

HFONT WindowLayer::FontFor(const Font& font) {
  if (font.height == 0 && !font.bold && !font.underline && font.name.empty()) return defaultFont_;
  const std::string key = std::to_string(font.height) + (font.bold ? "b" : "-") +
                          (font.underline ? "u" : "-") + font.name;
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  LOGFONTA logFont = defaultLogFont_;
  if (font.height != 0) logFont.lfHeight = -Scale(font.height);
  logFont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  logFont.lfUnderline = font.underline ? TRUE : FALSE;
  logFont.lfItalic = FALSE;
  if (!font.name.empty())
    lstrcpynA(logFont.lfFaceName, FaceInstalled(font.name) ? font.name.c_str() : "Arial",
              LF_FACESIZE);
  HFONT created = CreateFontIndirectA(&logFont);
  if (!created) return defaultFont_;
  fonts_[key] = created;
  return created;
}

bool WindowLayer::FaceInstalled(const std::string& face) {
  auto it = faces_.find(face);
  if (it != faces_.end()) return it->second;
  bool found = false;
  LOGFONTA wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
  if (HDC screen = GetDC(nullptr)) {
    EnumFontFamiliesExA(screen, &wanted, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
  }
  faces_[face] = found;
  return found;
}

HandleValue Win32Platform::LoadSmallIcon(const std::string& resourceName) {
  // At the system's small-icon size, which is the notification area's: 16 pixels at 100 %,
  // 24 at 150 %, 32 at 200 %. The program is aware of the display's scale for its whole life, so
  // the size, and each icon, is loaded once.
  static std::map<std::string, HICON> icons;
  auto it = icons.find(resourceName);
  if (it == icons.end()) {
    const std::wstring name(resourceName.begin(), resourceName.end());
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    it = icons.emplace(resourceName, icon).first;
  }
  return reinterpret_cast<HandleValue>(it->second);
}

void WindowLayer::LoadPicture(TControl& control, ControlWindows& w) {
  HWND hwnd = w.main;
  w.picture = control.Picture();
  RECT client;
  GetClientRect(hwnd, &client);
  const PictureKind kind = KindOfPicture(instance_, w.picture);

  // An icon is drawn centred in its own size; a bitmap is stretched to the
  // control and also paints the background of what lies over it.
  HICON icon = nullptr;
  HBITMAP bitmap = nullptr;
  if (kind == PictureKind::Icon) {
    // At the size the picture was designed for, scaled as the control was (32 design pixels are
    // 48 at 150 %), which the icon holds drawn for that size.
    const Bounds& bounds = control.GetBounds();
    const int side = Scale(std::min(bounds.width, bounds.height));
    icon = static_cast<HICON>(
        LoadImageA(instance_, w.picture.c_str(), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
  } else if (kind == PictureKind::Bitmap)
    bitmap = LoadStretchedBitmap(instance_, w.picture, client.right, client.bottom);

  const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
  const DWORD type = bitmap ? SS_BITMAP : SS_ICON;
  if ((style & SS_TYPEMASK) != type)
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((style & ~SS_TYPEMASK) | type));
  SendMessageA(hwnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
  SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));

  if (w.icon) DestroyIcon(w.icon);
  if (w.background) DeleteObject(w.background);
  if (w.bitmap) DeleteObject(w.bitmap);
  w.icon = icon;
  w.bitmap = bitmap;
  w.background = bitmap ? CreatePatternBrush(bitmap) : nullptr;
  if (w.background)
    backgrounds_[GetParent(hwnd)] = hwnd;
  else
    backgrounds_.erase(GetParent(hwnd));
  InvalidateRect(hwnd, nullptr, TRUE);
}

HWND WindowLayer::BackgroundPicture(HWND window) const {
  for (HWND holder = GetParent(window); holder; holder = GetParent(holder)) {
    auto it = backgrounds_.find(holder);
    if (it != backgrounds_.end() && it->second != window &&
        (GetWindowLongA(it->second, GWL_STYLE) & WS_VISIBLE))
      return it->second;
    if (formWindows_.count(holder)) break;
  }
  return nullptr;
}

LRESULT WindowLayer::ControlColor(HWND child, HDC dc, bool isStatic) {
  auto it = parts_.find(child);
  const Color color = it != parts_.end() ? it->second.control->FontColor() : clWindowText;
  SetTextColor(dc, ToColorRef(color));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  // Texts and frames over a picture show the picture around them: its
  // brush, aligned with where the picture lies.
  if (HWND picture = isStatic ? BackgroundPicture(child) : nullptr) {
    auto windows = controls_.find(parts_.at(picture).control);
    POINT origin = {0, 0};
    MapWindowPoints(child, picture, &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(windows->second->background);
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace hv
