// Demo of what the libraries do so far: the attribute storage that every
// algorithm attaches to mesh elements, driven through element edits.
#include <common/variable_attribute.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : ".";
  tarnix::AttributeManager vertices;
  vertices.resize(5);
  auto info = vertices.find_or_create_attribute<tarnix::VariableAttribute, tarnix::index_t>(
      "vertex info", tarnix::NO_ID, 1);
  for (tarnix::index_t v = 0; v < 5; ++v) info->set_value(v, 10 * v);
  vertices.delete_elements({false, true, false, true, false});
  std::printf("vertex info after deleting two of five vertices:");
  for (tarnix::index_t v = 0; v < vertices.nb_elements(); ++v) {
    std::printf(" %u", info->value(v));
  }
  std::printf("\n(outputs would go to %s)\n", out.c_str());
  return 0;
}
