#include "AlignRequest.h"

#include "Imagestack.h"

AlignRefusal AlignRequest::Check(const ImageStack& stack) const {
  if (child < 0) return stack.pictureCount() < 2 ? AlignRefusal::TooFewPictures : AlignRefusal::None;
  return child < 1 || child >= stack.pictureCount() ? AlignRefusal::NoSuchChild : AlignRefusal::None;
}

std::vector<AlignTask> AlignRequest::Tasks(const ImageStack& stack) const {
  if (Check(stack) != AlignRefusal::None) return {};
  return AlignTasks(stack, child);
}
