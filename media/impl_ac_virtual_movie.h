// The renderer of one pane: shows packed YUY2 pictures scaled to the pane's
// surface window.
//
// ImplACVirtualMovie keeps the renderer's operations in their order and does
// the bookkeeping every renderer shares (initialised flag, surface mode,
// source and destination sizes, format code, the Draw sequence). A backend
// (one file each: null, software RGB, OpenGL) derives from it and implements
// the device hooks. Draw is called on a display thread; a backend that needs
// its window's thread copies the picture into its own buffer under its own
// lock and schedules the repaint there. No backend locks on behalf of its
// callers: the video filter calls one renderer from one display thread.
#pragma once

#include <cstdint>

#include "media/ac_object.h"  // ACWindowHandle

namespace media {

class ImplACVirtualMovie {
 public:
  enum FormatCode : int {
    kFormatUnknown = 1000,
    kFormatRGB555 = 1001,
    kFormatRGB565 = 1002,
    kFormatRGB24 = 1003,
    kFormatRGB32 = 1004,
    kFormatYUY2 = 1009,
  };
  enum SurfaceMode : int { kModeYUY2 = 1, kModeRGB = 0 };

  ImplACVirtualMovie() = default;
  ImplACVirtualMovie(const ImplACVirtualMovie&) = delete;
  ImplACVirtualMovie& operator=(const ImplACVirtualMovie&) = delete;

  // 0: releases everything.
  virtual ~ImplACVirtualMovie() = default;
  // 1: stores the window, creates the device (0 when already initialised or
  // the device cannot be made), marks initialised, then sets source and
  // destination sizes to 320 x 240 (failure releases everything: 0).
  virtual int Init(ACWindowHandle window);
  // 2: releases source, destination, clipper and device; initialised = 0.
  virtual int Close();
  // 3: when initialised and the mode changes, remakes the surfaces at the
  // remembered sizes.
  virtual int SetSurfaceMode(int mode);
  // 4: reads the window's client size, sets the destination size to it and
  // presents the source scaled onto it again.
  virtual int Repaint();
  // 5
  virtual int GetFormatCode() { return formatCode_; }
  // 6 and 7 (identical): 0 for a null picture; source size = width x height,
  // destination size = the window's client size; then copy and present.
  virtual int Draw(const unsigned char* picture, int width, int height);
  virtual int DrawPicture(const unsigned char* picture, int width, int height) {
    return Draw(picture, width, height);
  }
  // Shows again a picture whose bytes have not changed since the caller drew
  // it: when it is the one the last successful Draw drew, at that size, and
  // the window's size is unchanged, the surfaces still hold it and nothing
  // is copied or presented (the window repaints itself from them); otherwise
  // Draw. 1 = shown.
  int DrawAgain(const unsigned char* picture, int width, int height);

 protected:
  // ---- device hooks, one implementation per backend ----------------------
  virtual int CreateDevice() = 0;                // 8: 1 = made
  virtual void ReleasePrimaryAndDevice() = 0;    // 9
  virtual void ReleaseSource() = 0;              // 10
  virtual void ReleaseDestination() = 0;         // 11
  virtual void ReleaseClipper() = 0;             // 12
  // 13 / 14: 1 at once when unchanged; 0 when not initialised; else store
  // the size and make the surface (15 or 17, 16 or 18 by surface mode).
  virtual int SetSourceSize(int width, int height);
  virtual int SetDestinationSize(int width, int height);
  virtual int CreateYUY2Source() = 0;            // 15: sets formatCode_ = kFormatYUY2
  virtual int CreateYUY2Destination() = 0;       // 16
  virtual int CreateRGBSource() = 0;             // 17: sets formatCode_ from the screen format
  virtual int CreateRGBDestination() = 0;        // 18
  // 19: copies the picture (source width x height, bytes per pixel by the
  // format code) into the source surface and presents it scaled.
  virtual int CopyAndPresent(const unsigned char* picture) = 0;
  // 20: shows the destination surface on the window.
  virtual int Present() = 0;
  // The window's client size; callable from a display thread. False when
  // the window cannot tell.
  virtual bool WindowClientSize(int* width, int* height) = 0;

  // Fields, in the renderer's order.
  ACWindowHandle window_ = nullptr;
  int initialised_ = 0;
  int surfaceMode_ = kModeYUY2;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  int destinationWidth_ = 0;
  int destinationHeight_ = 0;
  int formatCode_ = kFormatUnknown;

 private:
  // The picture of the last successful Draw; null when the surfaces may
  // not hold it (no Draw yet, a failed one, surfaces made again).
  const unsigned char* lastDrawn_ = nullptr;
};

// Makes the renderer for a pane's window. The program installs the factory
// of the backend it uses before the video filter is initialised; without
// one the null backend is used.
using ACRendererFactory = ImplACVirtualMovie* (*)(ACWindowHandle window);
void SetRendererFactory(ACRendererFactory factory);
ImplACVirtualMovie* CreateRenderer(ACWindowHandle window);

}  // namespace media
