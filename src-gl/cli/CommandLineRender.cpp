// --render-frame: one frame of the zoom drawn offscreen, as a PNG file.

#include <QImage>
#include <string>

#include "CommandLineWork.h"
#include "FrameFill.h"
#include "Imagestack.h"
#include "Messages.h"
#include "OffscreenTarget.h"
#include "PngWrite.h"
#include "Project.h"
#include "Renderer.h"
#include "SafeFile.h"

namespace command_line {

int RenderFrame(double t, const QString& output, int width, int height, size_t budget, const QString& project,
                const PlayOverride& play, VideoFrame framing) {
  Project open;
  // Each picture the frame shows is decoded once, by its check, at the size it is drawn at.
  open.PlanOpening([t, width, height, play](const ImageStack& stack) {
    PlaySettings settings = stack.playSettings;
    if (play.play) settings.play = *play.play;
    if (play.pace) settings.pace = *play.pace;
    return Renderer::FrameSides(stack, settings, t, width, height);
  });
  if (!OpenForWork(open, project)) return 1;
  ImageStack* stack = open.stack();
  play.ApplyTo(*stack);
  if (stack->pictureCount() < 1) {
    Fail(QStringLiteral("the project holds no pictures to draw"));
    return 1;
  }
  OffscreenTarget target;
  std::string error;
  if (!target.Create(width, height, error)) {
    Fail(QString::fromStdString(error));
    return 1;
  }
  RendererOptions options;
  options.textureBudget = budget;
  options.waitForLevels = true;
  options.lodBias = offscreenLodBias;
  Renderer renderer(options);
  if (renderer.ExceedsLimit(*stack)) ShowMaxImageSizeMessage(renderer.TextureLimit());
  Renderer::SetViewGlState();
  target.BeginFrame();
  const Image& first = *stack->images[0];
  const ViewGeometry fitted = ViewGeometry::Fitted(width, height, first.width, first.height);
  renderer.DrawZoom(*stack, t, FrameView(*stack, t, fitted, framing));
  target.Finish();
  const std::string message = renderer.TakeMessage();
  if (!message.empty()) ShowPlainMessage(message);
  std::string png;
  if (!EncodePng(target.Read(), png)) {
    Fail(QStringLiteral("the frame could not be encoded as PNG"));
    return 1;
  }
  return ExitStatus(WriteFileReporting(AbsoluteFileName(output), png), *stack);
}

}  // namespace command_line
