#pragma once
// The interfaces a browser control of our own answers, as bases to derive from: off Windows
// fw/com.h's declarations, which hold just the methods such a control implements; on Windows
// the system's, with every other method answering E_NOTIMPL (fw/windows/com_faces.h).
#include "fw/com.h"

#ifdef _WIN32
#include "fw/windows/com_faces.h"
namespace fw::detail {
using WebBrowser2Face = windows::WebBrowser2Face;
using OleObjectFace = windows::OleObjectFace;
}  // namespace fw::detail
#else
namespace fw::detail {
using WebBrowser2Face = IWebBrowser2;
using OleObjectFace = IOleObject;
}  // namespace fw::detail
#endif
