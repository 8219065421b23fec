#include "AlignRequest.h"

#include "Imagestack.h"

AlignRefusal AlignRequest::Check(const ImageStack& stack) const {
  // An endless project's target frame is the first picture's place in the last: a child too.
  const bool endless = stack.playSettings.play == PlayMode::Endless;
  if (child < 0) return stack.pictureCount() < (endless ? 1 : 2) ? AlignRefusal::TooFewPictures : AlignRefusal::None;
  const int lastChild = endless ? stack.pictureCount() : stack.pictureCount() - 1;
  return child < 1 || child > lastChild ? AlignRefusal::NoSuchChild : AlignRefusal::None;
}

std::vector<AlignTask> AlignRequest::Tasks(const ImageStack& stack) const {
  if (Check(stack) != AlignRefusal::None) return {};
  std::vector<AlignTask> tasks = AlignTasks(stack, child);
  for (AlignTask& t : tasks) t.guessed = guessed;
  return tasks;
}
