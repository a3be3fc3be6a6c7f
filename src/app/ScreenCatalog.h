#pragma once

namespace tarnwick {

class DetailArea;

// The screens the detail area shows for each section (and while a map scan
// runs). Sections left out here show the detail area's placeholder.
namespace ScreenCatalog {

void install(DetailArea& detailArea);

}  // namespace ScreenCatalog

}  // namespace tarnwick
