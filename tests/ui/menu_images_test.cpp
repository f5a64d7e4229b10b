#include "menu/menu_images.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/handle.h"
#include "base/module.h"
#include "resource.h"
#include "ui/dpi_scale.h"
#include "ui_test_support.h"

namespace quillan {
namespace {

using test::ReadBitmapPixels;

TEST(MenuImages, PngResourcesBecome32BitBitmapsOfTheirSizesWithAlphaKept) {
  const struct {
    UINT id;
    int width, height;
    bool alpha;
  } images[] = {{IDP_PRODUCT_16, 16, 16, true}, {IDP_PRODUCT_32, 32, 32, true}, {IDP_PRODUCT_48, 48, 48, true},
                {IDP_SHARE_16, 16, 16, true},   {IDP_SHARE_32, 32, 32, true},   {IDP_SHARE_48, 48, 48, true},
                {IDP_SHARE_XP, 13, 13, false},  {IDP_UPLOAD_16, 16, 17, true},  {IDP_UPLOAD_32, 32, 34, true},
                {IDP_UPLOAD_48, 48, 51, true},  {IDP_UPLOAD_XP, 13, 13, false}, {IDP_STATUS, 14, 14, true}};
  for (const auto& image : images) {
    SCOPED_TRACE(image.id);
    UniqueBitmap bitmap(LoadPngBitmap(ThisModule(), image.id));
    ASSERT_TRUE(bitmap);
    test::BitmapPixels p = ReadBitmapPixels(bitmap.get());
    EXPECT_EQ(p.width, image.width);
    EXPECT_EQ(p.height, image.height);
    EXPECT_EQ(p.bits, 32);
    bool transparent = false, opaque = false;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        transparent |= p.Alpha(x, y) == 0;
        opaque |= p.Alpha(x, y) == 255;
      }
    }
    EXPECT_TRUE(opaque);
    EXPECT_EQ(transparent, image.alpha);
  }
  // The status icon: a transparent corner around an opaque disc.
  test::BitmapPixels status = ReadBitmapPixels(UniqueBitmap(LoadStatusBitmap()).get());
  EXPECT_EQ(status.width, 14);
  EXPECT_EQ(status.Alpha(0, 0), 0);
  EXPECT_EQ(status.Alpha(7, 3), 255);
}

TEST(MenuImages, MissingResourcesGiveNoBitmapAndLeakNothing) {
  UniqueBitmap warmUp(LoadPngBitmap(ThisModule(), IDP_STATUS));
  long before = test::GdiObjectCount();
  EXPECT_EQ(LoadPngBitmap(ThisModule(), 999), nullptr);
  EXPECT_EQ(LoadPngBitmap(ThisModule(), IDB_BAND_BACKGROUND), nullptr);  // a bitmap, not a PNG
  for (int i = 0; i < 50; ++i) UniqueBitmap(LoadPngBitmap(ThisModule(), IDP_UPLOAD_48));
  EXPECT_EQ(test::GdiObjectCount(), before);
}

TEST(MenuImages, SizeGroupsAndVersionsPickTheImages) {
  const struct {
    float scale;
    UINT product, share, upload;
  } groups[] = {{1.0f, IDP_PRODUCT_16, IDP_SHARE_16, IDP_UPLOAD_16}, {1.5f, IDP_PRODUCT_16, IDP_SHARE_16, IDP_UPLOAD_16},
                {1.75f, IDP_PRODUCT_32, IDP_SHARE_32, IDP_UPLOAD_32}, {2.25f, IDP_PRODUCT_32, IDP_SHARE_32, IDP_UPLOAD_32},
                {2.5f, IDP_PRODUCT_48, IDP_SHARE_48, IDP_UPLOAD_48},  {3.5f, IDP_PRODUCT_48, IDP_SHARE_48, IDP_UPLOAD_48}};
  for (const auto& group : groups) {
    EXPECT_EQ(ProductImageId(group.scale), group.product) << group.scale;
    EXPECT_EQ(ShareImageId(group.scale, true), group.share) << group.scale;
    EXPECT_EQ(UploadImageId(group.scale, true), group.upload) << group.scale;
    EXPECT_EQ(ShareImageId(group.scale, false), static_cast<UINT>(IDP_SHARE_XP)) << group.scale;
    EXPECT_EQ(UploadImageId(group.scale, false), static_cast<UINT>(IDP_UPLOAD_XP)) << group.scale;
  }

  // The loaders follow the process's scale.
  ASSERT_TRUE(DpiScale::InitFromDpi(168));
  EXPECT_EQ(ReadBitmapPixels(UniqueBitmap(LoadProductBitmap()).get()).width, 32);
  EXPECT_EQ(ReadBitmapPixels(UniqueBitmap(LoadUploadBitmap()).get()).height, 34);
  ASSERT_TRUE(DpiScale::InitFromDpi(96));
  EXPECT_EQ(ReadBitmapPixels(UniqueBitmap(LoadShareBitmap()).get()).width, 16);
}

}  // namespace
}  // namespace quillan
