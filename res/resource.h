// Resource identifiers of QuillanShellUI.DLL.
#pragma once

// Strings
#define IDS_PROJNAME            100  // "QuillanShell"
#define IDS_LOGIN_PROMPT        101  // the bar's prompt for an account that is not logged in
#define IDS_NAME_FORMAT         102  // "%s  "

// Registry scripts (type "REGISTRY")
#define IDR_QUILLANSHELLUI      101  // AppID
#define IDR_EXPLORERBAND        103
#define IDR_SHELLCONTEXTMENU    104

// The bar dialog and its controls
#define IDD_TOPBAND             201
#define IDC_MESSAGE             1000
#define IDC_LOGIN_LINK          1001
#define IDC_AVATAR              1002
#define IDC_NAME                1003
#define IDC_STATUS_ICON         1004

// Bitmaps
#define IDB_BAND_BACKGROUND     204  // 482 x 39, 32 bits
#define IDB_AVATAR_PLACEHOLDER  206  // 30 x 30, 24 bits
#define IDB_PRODUCT_XP          215  // 13 x 13, 32 bits

// PNG images (type "PNG")
#define IDP_SHARE_16            223
#define IDP_UPLOAD_16           224  // 16 x 17
#define IDP_UPLOAD_XP           225  // 13 x 13, no alpha
#define IDP_SHARE_XP            228  // 13 x 13, no alpha
#define IDP_STATUS              231  // 14 x 14
#define IDP_PRODUCT_16          232
#define IDP_PRODUCT_32          233
#define IDP_PRODUCT_48          234
#define IDP_SHARE_32            235
#define IDP_SHARE_48            236
#define IDP_UPLOAD_32           237  // 32 x 34
#define IDP_UPLOAD_48           238  // 48 x 51

// Type library (type "TYPELIB")
#define IDT_TYPELIB             1
