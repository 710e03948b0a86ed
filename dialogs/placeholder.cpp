// Dialogs of the player live in this library.
namespace kzp {
int dialogsLibraryAnchor = 0;
}
