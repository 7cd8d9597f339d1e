#include "RowTreeTestMain.h"

#include <QApplication>
#include <QTest>
#include <cstring>

std::vector<RowTreeTestClass>& RowTreeTestClasses()
{
    static std::vector<RowTreeTestClass> classes;
    return classes;
}

// Usage: rowtree_tests [ClassName] [Qt Test options...]
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const char* only = nullptr;
    std::vector<char*> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        bool isClass = false;
        for (const RowTreeTestClass& c : RowTreeTestClasses()) {
            if (std::strcmp(argv[i], c.name) == 0) {
                isClass = true;
            }
        }
        if (isClass && !only) {
            only = argv[i];
        } else {
            args.push_back(argv[i]);
        }
    }
    int failures = 0;
    bool ran = false;
    for (const RowTreeTestClass& c : RowTreeTestClasses()) {
        if (only && std::strcmp(only, c.name) != 0) {
            continue;
        }
        ran = true;
        std::unique_ptr<QObject> test = c.make();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return ran ? failures : 1;
}
