// The picture bundle is attached to this library by qt_add_resources.
namespace kzp {
int resourcesLibraryAnchor = 0;
}
