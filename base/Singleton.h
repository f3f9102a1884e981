// The one process-wide instance of a class: built by the first GetInstance
// and destroyed at process exit.
#pragma once

namespace Velora {

template <typename T>
class VLSingleton : public T {
public:
    static T& GetInstance()
    {
        static VLSingleton<T> instance;
        return instance;
    }

private:
    VLSingleton() = default;
};

} // namespace Velora
