// The menu's and the bar's images: PNG resources of this module turned into 32-bit bitmaps with
// their alpha channel (premultiplied, ready for AlphaBlend or a menu item), sized for the display
// scale. Every bitmap returned belongs to the caller (DeleteObject); null on any failure.
#pragma once

#include <windows.h>

namespace quillan {

// Decodes PNG resource id (type "PNG") of module through GDI+, which is started and shut down
// around the call.
HBITMAP LoadPngBitmap(HMODULE module, UINT id);

// The product icon by size group: 16, 32 or 48 pixels. For systems of version 6 or later (older
// ones use bitmap 215).
HBITMAP LoadProductBitmap();
// The share icon: by size group on version 6 or later, the 13-pixel image on older systems.
HBITMAP LoadShareBitmap();
// The upload icon: by size group on version 6 or later, the 13-pixel image on older systems.
HBITMAP LoadUploadBitmap();
// The bar's status icon, 14 x 14 at every scale.
HBITMAP LoadStatusBitmap();

// The size group of a display scale: 0 small (up to 1.5), 1 medium (up to 2.25), 2 large (up to 3.5).
int ImageSizeGroup(float scale);
// The resource the loaders pick for a scale and a system version.
UINT ProductImageId(float scale);
UINT ShareImageId(float scale, bool vistaOrLater);
UINT UploadImageId(float scale, bool vistaOrLater);

}  // namespace quillan
