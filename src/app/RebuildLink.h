#pragma once
// Plugs the conversion of an older store (TRebuildDB) into the main window: the first step at
// creation, the second on a tick with the sync connection up. Once it completed, the notes
// preview and an idle day editor show the converted texts.
namespace wl {

class TfmMain;

// Sets window.hooks.StartRebuildDB and EndRebuildDB; the window must outlive its hooks.
void LinkRebuildDB(TfmMain& window);

}  // namespace wl
