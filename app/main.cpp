#include "app/Unit1.h"
#include "platform/application.h"
#include "platform/errors.h"

using platform::Application;

int main(int argc, char* argv[]) {
    try {
        Application->Initialize(argc, argv);
        Application->CreateForm(Form1);
        Application->Run();
    } catch (const std::exception& failure) {
        Application->ShowException(failure);
    } catch (...) {
        Application->ShowException(platform::Error(""));
    }
    return 0;
}
