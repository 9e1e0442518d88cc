#include "localfs/FolderChain.h"

#include "localfs/LocalPaths.h"

namespace quillon {

FolderComboContent TopFolderCombo(const std::vector<std::string>& topFolderNames) {
  FolderComboContent content;
  content.items.push_back({"/", "/", 0});
  for (const auto& name : topFolderNames) content.items.push_back({name, "/" + name, 1});
  return content;
}

FolderComboContent FolderChain(FolderComboContent top, const std::string& folder) {
  auto& items = top.items;
  if (items.empty() || items[0].path != "/") items.insert(items.begin(), {"/", "/", 0});
  size_t previous = 0;  // the top folder, where every chain starts
  for (const auto& level : FolderLevels(folder)) {
    size_t found = items.size();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].path == level) {
        found = i;
        break;
      }
    }
    if (found == items.size()) {
      found = previous + 1;
      items.insert(items.begin() + static_cast<std::ptrdiff_t>(found),
                   {LastPathPart(level), level, items[previous].indent + 1});
    }
    previous = found;
  }
  top.selected = static_cast<int>(previous);
  return top;
}

}  // namespace quillon
