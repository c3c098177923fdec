// The child widget of a type with an object name, failing the running test when there is
// none: widget tests find what they drive by name.
#pragma once

#include <gtest/gtest.h>

#include <QLatin1String>
#include <QWidget>

namespace Tervane3::Test {

template<typename T>
T* child(QWidget* parent, const char* name)
{
    auto* widget = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace Tervane3::Test
