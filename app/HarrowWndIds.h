// The ids the main window, its list rows and their tests work with: the
// controls and status panels of the markup window "HarrowWnd"
// (resources/HarrowMarkup.xml) and of the rows built in code, the
// string-table entries and the PNG images of resources/AppResources.rc.
#pragma once

#include <windows.h>

namespace Velora {

// Controls.
constexpr int kMinimiseButton = 100;
constexpr int kCloseButton = 101;
constexpr int kList = 204; // the rows, inside the list page
constexpr int kSelectAll = 205;
constexpr int kActionButton = 206;
constexpr int kRowCheckBox = 207; // every row's, built in code
constexpr int kStartPage = 208;
constexpr int kTitleText = 209;
constexpr int kStartButton = 513;
constexpr int kListPage = 514;
constexpr int kListSlider = 519;
constexpr int kRowBusyImage = 520; // every row's, built in code
constexpr int kCheckText = 530;
constexpr int kCheckSummary = 531;
constexpr int kRepairText = 532;
constexpr int kCheckBar = 533;
constexpr int kRepairBar = 534;
constexpr int kSpeedText = 535;
constexpr int kRepairSummary = 536;
constexpr int kAllRepairedText = 537; // its panel is never shown
constexpr int kCancelText = 538;
constexpr int kStatusPanels = 541; // holds the panels below

// The status panels: one shows at a time.
constexpr int kPanelWelcome = 300;
constexpr int kPanelChecking = 301;
constexpr int kPanelCheckCancelled = 302;
constexpr int kPanelCheckResult = 303;
constexpr int kPanelRepairing = 304;
constexpr int kPanelRepairCancelled = 305;
constexpr int kPanelRepairResult = 306;
constexpr int kPanelAllRepaired = 307; // never shown
constexpr int kPanels[] = {kPanelWelcome,   kPanelChecking,        kPanelCheckCancelled, kPanelCheckResult,
                           kPanelRepairing, kPanelRepairCancelled, kPanelRepairResult,   kPanelAllRepaired};

// Texts.
constexpr UINT kStringTitle = 1332;
constexpr UINT kStringChecking = 1333;      // "正在检测运行库 %d/%d"
constexpr UINT kStringCheckingSpare = 1334; // the same text; nothing shows it
constexpr UINT kStringNoneMissing = 1335;
constexpr UINT kStringCheckAgain = 1336;
constexpr UINT kStringCheckSummary = 1337;
constexpr UINT kStringRepairNow = 1338;
constexpr UINT kStringTickToRepair = 1339; // nothing shows it
constexpr UINT kStringRepairing = 1340;
constexpr UINT kStringDownloading = 1341;
constexpr UINT kStringInstalling = 1342;
constexpr UINT kStringAllRepaired = 1343;
constexpr UINT kStringRepairAgain = 1344;
constexpr UINT kStringRepairSummary = 1345;
constexpr UINT kStringCancel = 1347;
constexpr UINT kStringCheckCancelled = 1348;
constexpr UINT kStringCheckCancelledMissing = 1349;
constexpr UINT kStringResourcesFailed = 1351; // nothing shows it
constexpr UINT kStringNamedStep = 1352;       // a step's text, then the runtime's name highlighted
constexpr UINT kStringSpeed = 1353;
constexpr UINT kStringRowInstalled = 1354;
constexpr UINT kStringRowMissing = 1355;
constexpr UINT kStringRowRepaired = 1356;
constexpr UINT kStringRowRepairFailed = 1357;
constexpr UINT kStringRowRepairing = 1358;
constexpr UINT kStringPackageSize = 1360; // "大小： ", before a row's package size

// Images.
constexpr int kImageMainClose = 404;
constexpr int kImageMainMinimise = 405;
constexpr int kImageCheckBox = 408; // cells: unticked, hot, ticked, disabled, disabled ticked, mixed
constexpr int kImageMainBackground = 510;
constexpr int kImageProgressTrack = 511;
constexpr int kImageProgressFill = 512;
constexpr int kImageRowStripeEven = 516;
constexpr int kImageRowStripeOdd = 517;
constexpr int kImageListFooter = 518;
constexpr int kImageBusySpinner = 521;
constexpr int kImageCheckDone = 523;
constexpr int kImageRepairingIcon = 524;
constexpr int kImageAllRepairedIcon = 525;
constexpr int kImageAttentionIcon = 526;
constexpr int kImageSliderThumb = 600;
constexpr int kImageSliderTrack = 601;
constexpr int kImageCheckingIcon = 602;
constexpr int kImageButton = 603; // the prompt's OK button wears it too
// The runtimes' logos.
constexpr int kImageDirectX = 604;
constexpr int kImageGfwLive = 605;
constexpr int kImageDotNet = 606;
constexpr int kImageAppLocale = 607;
constexpr int kImageSilverlight = 608;
constexpr int kImageXna40 = 609;
constexpr int kImageMsxml6 = 610;
constexpr int kImageXna31 = 611;
constexpr int kImageMsxml34 = 612;
constexpr int kImageOpenAL = 613;
constexpr int kImageVC2005 = 614;
constexpr int kImageVC2008 = 615;
constexpr int kImageVC2010 = 616;
constexpr int kImageVC2012 = 617;
constexpr int kImagePhysX = 618;
constexpr int kImageJava = 619;
constexpr int kImageFlash = 620;

} // namespace Velora
