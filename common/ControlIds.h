// Stable control ids of the main window's and the notice window's child
// windows. Tests and accessibility tools find controls by these ids; never
// renumber them. Radio buttons of a radio group have the group's id + 1 +
// item index; the up/down arrows of a spin edit have its id + 1.
#pragma once

namespace hv::ctl {

// Main window, around the pages
constexpr int TabbedNotebook1 = 100;
constexpr int SpeedButtonHide = 101;
constexpr int SpeedButtonTerminate = 102;
constexpr int PageTime = 110;
constexpr int PageSetup = 111;
constexpr int PageInfo = 112;
constexpr int PageAbout = 113;

// Time page
constexpr int PanelMsg = 200;
constexpr int Image1 = 201;
constexpr int ImagePC = 202;
constexpr int ImageCrystal = 203;
constexpr int ImageDCF = 204;
constexpr int LabelDOW = 205;
constexpr int LabelDate = 206;
constexpr int LabelTime = 207;
constexpr int PanelSeason = 208;
constexpr int Panel1 = 209;
constexpr int PanelDCFQuality = 210;
constexpr int Panel2 = 211;
constexpr int PanelStatus = 212;
constexpr int Panel3 = 213;
constexpr int PanelAntenna = 214;
constexpr int Panel4 = 215;
constexpr int PanelBattery = 216;
constexpr int Panel16 = 217;
constexpr int PanelLastUpdate = 218;
constexpr int LabelDebug_Date = 219;
constexpr int LabelDebug_Time = 220;
constexpr int LabelDebug_Status = 221;
constexpr int ButtonTest = 222;

// Setup page
constexpr int RadioGroupStartup = 300;  // items 301..303
constexpr int CheckBoxTerminate = 310;
constexpr int RadioGroupPeriodical = 320;  // items 321..323
constexpr int SpinEditQuality = 330;       // arrows 331
constexpr int LabelQuality = 332;
constexpr int CheckBoxTone = 340;
constexpr int ComboBoxRef = 350;
constexpr int LabelRef = 351;

// Info page
constexpr int LabelDeviceInformation = 400;
constexpr int Panel5 = 401;
constexpr int PanelFirmware = 402;
constexpr int Panel6 = 403;
constexpr int PanelType = 404;
constexpr int Panel8 = 405;
constexpr int PanelSN = 406;
constexpr int Panel9 = 407;
constexpr int PanelSN_EEPROM = 408;
constexpr int LabelEquipment = 409;
constexpr int Panel12 = 410;
constexpr int PanelModule = 411;
constexpr int Panel10 = 412;
constexpr int PanelRTC = 413;
constexpr int Panel11 = 414;
constexpr int PanelMeasure = 415;
constexpr int Panel7 = 416;
constexpr int PanelMode = 417;

// About page
constexpr int Image2 = 500;
constexpr int Label6 = 501;
constexpr int Label3 = 502;
constexpr int LabelVersion = 503;
constexpr int LabelCopyright = 504;
constexpr int Panel18 = 505;
constexpr int Label4 = 506;
constexpr int UrlLabel1 = 507;
constexpr int Label5 = 508;
constexpr int UrlLabel2 = 509;
constexpr int Panel19 = 510;
constexpr int Label9 = 511;
constexpr int Label10 = 512;

// Low-battery notice window
constexpr int LowBatImage = 600;
constexpr int LowBatLine1 = 601;
constexpr int LowBatLine2 = 602;
constexpr int BitBtnOk = 603;

}  // namespace hv::ctl

// Window messages handled by number.
namespace hv {
constexpr unsigned kWmTrayIcon = 1024 + 1000;  // the tray icon's callback message
constexpr unsigned kWmPowerBroadcast = 536;
constexpr unsigned kWmEndSession = 22;
constexpr unsigned kWmLButtonUp = 514;
constexpr unsigned kWmRButtonUp = 517;
}  // namespace hv
