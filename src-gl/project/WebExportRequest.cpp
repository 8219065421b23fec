#include "WebExportRequest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "Imagestack.h"
#include "ImagestackExport.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"

const char* const defaultWebCaption = "This file was created automatically by the <i>Tunnelvista</i> Editor";

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

bool HasSeparator(const std::string& name) { return name.find_first_of("/\\") != std::string::npos; }

// The names' checks, in the order they are said; empty when all pass.
std::string NameRefusal(const WebExportRequest& r, const std::string& archiveUrl) {
  const bool applet = r.player == WebPlayer::Applet;
  if (r.pageName.size() < 5 || !EndsWithIgnoringCase(r.pageName, ".html"))
    return "The webpage filename must have an .html extension";
  if (r.dataName.size() < 4 || !EndsWithIgnoringCase(r.dataName, ".kxo")) return "Datafile must have an .kxo extension";
  if (applet && (r.appletName.size() < 4 || !EndsWithIgnoringCase(r.appletName, ".jar")))
    return "The Java applet must have a .jar extension";
  if (HasSeparator(r.pageName)) return "The webpage file must be in the same directory as the images.";
  if (HasSeparator(r.dataName)) return "The Java applet datafile file must be in the same directory as the images.";
  if (applet && !JarFileOK(archiveUrl))
    return "Due to Java security constraints, the Applet (.jar) location should be in\nthe same directory or a higher "
           "directory than the images and datafile.\nTo move the .jar file to a higher directory, precede the "
           "filename with\ntwo dots and a backslash (..\\)";
  return std::string();
}

}  // namespace

int WebMaxWidth(WebPlayer player) { return player == WebPlayer::Applet ? webMaxWidth : maxWebPageWidth; }
int WebMaxHeight(WebPlayer player) { return player == WebPlayer::Applet ? webMaxHeight : maxWebPageHeight; }

float WebExportRequest::Duration() const {
  float seconds = duration.empty() ? 1.0f : static_cast<float>(LeadingNumber(duration));
  if (!(seconds >= static_cast<float>(webMinDuration))) seconds = static_cast<float>(webMinDuration);
  if (seconds > static_cast<float>(webMaxDuration)) seconds = static_cast<float>(webMaxDuration);
  return seconds;
}

int WebExportRequest::Width() const {
  return static_cast<int>(std::clamp(LeadingInteger(width), long{webMinWidth}, long{WebMaxWidth(player)}));
}

int WebExportRequest::Height() const {
  int box = static_cast<int>(std::clamp(LeadingInteger(height), long{webMinHeight}, long{WebMaxHeight(player)}));
  if (showControls && player == WebPlayer::Applet) box += appletControlsHeight;
  return box;
}

bool WebExportRequest::SizeWithinLimits(int w, int h, WebPlayer player) {
  return w >= webMinWidth && w <= WebMaxWidth(player) && h >= webMinHeight && h <= WebMaxHeight(player);
}

std::string ProposedWebDirectory(const ImageStack& stack) {
  if (stack.path.empty()) return stack.images.empty() ? std::string() : stack.images[0]->directory;
  std::string folder = stack.path;
  CharReplace(folder, '\\', '/');
  const size_t slash = folder.find_last_of('/');
  std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  folder.erase(slash == std::string::npos ? 0 : slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return folder + name + "-web";
}

WebExportRequest RequestForProject(WebExportRequest request, const ImageStack& stack) {
  const WebExportRequest defaults;
  request.directory = ProposedWebDirectory(stack);
  auto orDefault = [](std::string& name, const std::string& fallback) {
    if (name.empty()) name = fallback;
  };
  orDefault(request.pageName, defaults.pageName);
  orDefault(request.title, defaults.title);
  orDefault(request.caption, defaults.caption);
  orDefault(request.dataName, defaults.dataName);
  orDefault(request.appletName, defaults.appletName);
  // The duration as the general number format shows it: up to 15 significant digits.
  request.duration = FormatGeneral(static_cast<double>(stack.duration), 15);
  return request;
}

WebExportPlan PlanWebExport(const WebExportRequest& r, const ImageStack& stack) {
  WebExportPlan plan;
  WebExportOptions& o = plan.options;
  WebPageOptions& page = o.page;
  // Paths take '/'; the URLs in the page always do.
  page.archiveUrl = r.appletName;
  CharReplace(page.archiveUrl, '\\', '/');
  plan.refusal = NameRefusal(r, page.archiveUrl);
  if (!plan.refusal.empty()) return plan;

  o.player = r.player;
  o.pictureSide = r.player == WebPlayer::Html5 ? r.pictureSide : 0;
  o.directory = r.directory;
  CharReplace(o.directory, '\\', '/');
  o.pageName = r.pageName;
  o.archiveTemplate = r.archiveTemplate;
  o.playerDirectory = r.playerDirectory;
  page.dataUrl = r.dataName;
  page.title = r.title;
  page.caption = r.caption;
  page.duration = r.Duration();
  page.showControls = r.showControls;
  page.autoplay = r.autoplay;
  page.playForward = r.playForward;
  page.width = r.Width();
  page.height = r.Height();
  page.pageSize = r.PageSize();
  // What the project plays (an endless zoom is steady whatever its pace says); the applet plays
  // there and back, eased, as always.
  if (r.player == WebPlayer::Html5) {
    page.endless = stack.playSettings.play == PlayMode::Endless;
    page.steady = stack.playSettings.EffectivePace() == Pace::Steady;
  }
  page.pageColour = r.pageColour & 0xFFFFFF;
  page.textColour = r.textColour & 0xFFFFFF;

  std::error_code error;
  plan.makesDirectory = !std::filesystem::is_directory(o.directory, error);
  plan.replaced = ExistingWebExportFiles(stack, o);
  return plan;
}

bool ConfirmWebExport(const WebExportPlan& plan) {
  if (!plan.refusal.empty()) {
    ShowPlainMessage(plan.refusal);
    return false;
  }
  const std::string& target = plan.options.directory;
  if (plan.makesDirectory &&
      !AskOkCancel("The target directory does not exist:\n\n    " + target + "\n\nWould you like to create it?",
                   "Warning"))
    return false;
  std::string list;
  for (const std::string& path : plan.replaced) list += path + "\n    ";
  return list.empty() || AskOkCancel("The following files already exist and will be overwritten:\n\n    " + list +
                                         "\nWould you like to continue?",
                                     "Warning");
}
