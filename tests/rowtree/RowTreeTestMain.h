#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

// Each test file registers its Qt Test class here; the one test program runs them all,
// or the one named on its command line (one ctest entry per class).
struct RowTreeTestClass {
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};

std::vector<RowTreeTestClass>& RowTreeTestClasses();

struct RowTreeTestRegistrar {
    RowTreeTestRegistrar(const char* name, std::function<std::unique_ptr<QObject>()> make)
    {
        RowTreeTestClasses().push_back({name, std::move(make)});
    }
};

// Class is a type name, which parentheses would turn into something else.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ROWTREE_TEST_CLASS(Class)                                                                                      \
    static RowTreeTestRegistrar registrar_##Class(#Class, [] { return std::unique_ptr<QObject>(new Class); })
// NOLINTEND(bugprone-macro-parentheses)
