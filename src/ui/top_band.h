// The cloud bar: a borderless child dialog (template 201) across the top of an Explorer folder view.
// For an account that is not logged in it shows its own face (avatar, name, status icon, prompt and
// the login link); for a logged-in account it hosts the desktop application's window (the external
// window) and tells the application the rectangle to fill. All calls come on the UI thread that owns
// the Explorer window.
#pragma once

#include <windows.h>

#include <string>

#include "base/dialog_impl.h"
#include "base/handle.h"
#include "resource.h"
#include "ui/ctl_colored.h"
#include "ui/hyper_link_ex.h"
#include "ui/static_ex.h"
#include "ui/window_impl_ex.h"

namespace quillan {

// Sent to the host window when the login link is clicked: wParam 0, lParam the bar window.
constexpr UINT WM_BAND_LOGIN = WM_USER + 0x1000;

class CTopBand : public CDialogImpl<CTopBand>, public CWindowImplEx<CTopBand>, public CCtlColored<CTopBand, 255> {
 public:
  enum { IDD = IDD_TOPBAND };
  // Keeps the bar above the legacy bar module's window while the account is logged in.
  static constexpr UINT_PTR kLegacyBarTimer = 49421;
  static constexpr UINT kLegacyBarPeriodMs = 200;

  static constexpr COLORREF kNameColor = RGB(116, 120, 135);
  static constexpr COLORREF kMessageColor = RGB(85, 89, 95);

  // Loads the bar's fonts and bitmaps; the window comes with Create (CDialogImpl).
  CTopBand();
  // Destroys a bar window that still exists (sending what its destruction sends).
  ~CTopBand() override;

  // The window that receives WM_BAND_LOGIN.
  void SetHostWindow(HWND host) { hostWindow_ = host; }
  // When the bar's window no longer exists (e.g. destroyed with its thread), forgets the bar's, the
  // controls' and the external window's handles, so that the object can create a new bar.
  void ResetIfDestroyed();
  // The placeholder always; the picture of path over it when the file exists.
  void SetAvatar(const std::wstring& path);
  // Shows an account: name (nickname, else user name; cut at '@', at most 13 characters), prompt
  // when not logged in; hides the own controls when logged in. relayout runs LayoutControls.
  void SetAccountInfo(const std::wstring& userName, const std::wstring& nickname, const std::wstring& enterpriseName,
                      const std::wstring& userId, const std::wstring& enterpriseId, bool loggedIn, bool relayout);
  // Hosts window (the application's window, a child of the bar), or with null gives it up.
  void AttachExternalWindow(HWND window);
  // True while the external window exists and is still the bar's child; otherwise detaches a
  // recorded one and returns false.
  bool CheckExternalWindow();
  // Places the own controls for a client size or, with an external window, sends the application
  // the rectangle (0, 0, cx, cy) to fill.
  void LayoutControls(int cx, int cy) override;
  // While the legacy desktop UI is active, moves the bar above the legacy bar module's window.
  void RaiseAboveLegacyBar();
  // The bar is being taken away: its timer stops, the application hears of it now (the closing
  // record), and from here on it sends nothing and asks its host for nothing.
  void PrepareToClose();

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalMessage(HWND window) override;

  HWND ExternalWindow() const { return externalWindow_; }

 private:
  bool AllControlsExist() const;
  void ShowOwnControls(bool show);
  void OnInitDialog();
  void OnDestroy();
  void SendBarSize(int cx, int cy);
  void SendBarClosing();
  RECT ChildRect(HWND child) const;
  SIZE ClientSize() const;

  UniqueBitmap background_;
  UniqueBitmap avatarPlaceholder_;
  UniqueBitmap statusBitmap_;
  UniqueFont nameFont_;
  CStaticEx avatar_;
  CStaticEx name_;
  CStaticEx statusIcon_;
  CStaticEx message_;
  CHyperLinkEx loginLink_;
  HWND hostWindow_ = nullptr;
  std::wstring userName_;
  std::wstring nickname_;
  std::wstring enterpriseName_;
  std::wstring userId_;
  std::wstring enterpriseId_;
  std::wstring avatarPath_;
  bool loggedIn_ = false;
  bool closing_ = false;
  HWND externalWindow_ = nullptr;
};

}  // namespace quillan
