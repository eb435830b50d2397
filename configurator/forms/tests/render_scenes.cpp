// Writes the compared scenes as the Cairo canvas draws them: <name>.png and <name>.layout in
// the output folder (see canvas_scenes.h).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "canvas_scenes.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s <output folder> [<forms folder> <qv.local>]\n", argv[0]);
    return 2;
  }
  try {
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
    vrnke::test::TSceneRenderer renderer(argc == 4 ? argv[2] : VRNKE_TEST_FORMS_DIR,
                                         argc == 4 ? argv[3] : VRNKE_QV_LOCAL);
    for (const auto& scene : renderer.RenderAll()) {
      scene.picture.SaveToFile((out / (scene.name + ".png")).string());
      std::ofstream((out / (scene.name + ".layout")).string(), std::ios::binary) << scene.layout;
    }
    tk::SetBackend(nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
