// A stand-in for the client in the installer's tests. It notes its process id
// in "runs" beside itself, then does what the file "behaviour" there says:
//   run    hold the client's instance mutex until killed
//   brief  hold it for half a second, then end
//   fail   end at once, as a client that cannot start
//   hang   never take the mutex
// Like the client, it ends when another process holds the mutex.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <string>
#include <thread>

#include "Install.h"
#include "winapi/UniqueHandle.h"
#include "winapi/winapi.h"

int main() {
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        return 2;
    }
    const std::string folder = std::string(self).substr(0, std::string(self).rfind('/') + 1);
    std::string behaviour;
    std::ifstream(folder + "behaviour") >> behaviour;
    std::ofstream(folder + "runs", std::ios::app) << ::getpid() << "\n" << std::flush;
    if (behaviour == "fail") {
        return 1;
    }
    hv::UniqueHandle mutex;
    if (behaviour != "hang") {
        mutex.Reset(CreateMutexA(nullptr, TRUE, hv::installer::kClientInstanceName));
        if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
            return 1;
        }
        if (behaviour == "brief") {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return 0;
        }
    }
    for (;;) {
        ::pause();
    }
}
