#include <ulvane/model/model_copy_mapping.h>

namespace tarnix {

void BijectiveMapping::map(uuid const& in, uuid const& out) {
  const auto old_out = in2out_.find(in);
  if (old_out != in2out_.end()) {
    out2in_.erase(old_out->second);
    in2out_.erase(old_out);
  }
  const auto old_in = out2in_.find(out);
  if (old_in != out2in_.end()) {
    in2out_.erase(old_in->second);
    out2in_.erase(old_in);
  }
  in2out_.emplace(in, out);
  out2in_.emplace(out, in);
}

}  // namespace tarnix
