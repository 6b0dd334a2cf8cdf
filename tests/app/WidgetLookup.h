#pragma once

// Finding a view's widgets the way its interface file names them.
#include <gtkmm.h>

#include <string>

namespace testsupport {

// The widget with the interface file's id `id` in the tree under `root`, as a T; null when there
// is none or it is not a T.
template <class T>
T* findWidget(Gtk::Widget& root, const std::string& id) {
    const char* buildableName = gtk_buildable_get_name(GTK_BUILDABLE(root.gobj()));
    if (buildableName && buildableName == id) return dynamic_cast<T*>(&root);
    if (auto* container = dynamic_cast<Gtk::Container*>(&root))
        for (auto* child : container->get_children())
            if (auto* found = findWidget<T>(*child, id)) return found;
    return nullptr;
}

}  // namespace testsupport
