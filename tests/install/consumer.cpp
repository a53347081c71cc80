// Links against the installed libraries and uses them as a host would.
#include <common/variable_attribute.h>

#include <cstdio>

int main() {
  tarnix::AttributeManager manager;
  manager.resize(3);
  auto attribute = manager.find_or_create_attribute<tarnix::VariableAttribute, double>(
      "value", 1.5, 1);
  if (attribute->value(2) != 1.5) return 1;
  std::puts("consumer ok");
  return 0;
}
