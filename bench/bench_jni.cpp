// The Java bridge's scan to Java callback, side by side with its anchor,
// the facade's scan to callback (bench_facade.cpp, BM_SerialScanToCallback):
// the same RS-232 scanner model at the same baud rates, in the same run.
//
// A Java VM is started in this program (libjvm of the JDK the bridge is
// built against, loaded by path), loads libjniOptika.so by absolute path,
// and finds and connects the simulated scanner through JniOptika's natives
// as a Java program does. Each iteration pauses at random (0-10 ms), scans a
// label and times it from the moment the scan was made (the simulator's
// acknowledged time in control mode) to the moment cppBarcodeCallBack's
// listener ran in Java (System.nanoTime, the same monotonic clock).
// Counters: p50 and p99 of scan to Java callback and of the delivered wire
// time, in microseconds.
#include "BenchSupport.h"

#include "platform/module.h"

#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <jni.h>

#include <chrono>
#include <cstdarg>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Labels that reached Java, with the moment each did.
struct JavaArrivals {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, Clock::time_point> labels;

    std::optional<Clock::time_point> waitFor(const std::string& label)
    {
        std::unique_lock lock(mutex);
        std::optional<Clock::time_point> at;
        changed.wait_for(lock, std::chrono::seconds(10), [&] {
            const auto found = labels.find(label);
            if (found != labels.end())
                at = found->second;
            return at.has_value();
        });
        return at;
    }
};

JavaArrivals g_arrivals;

void JNICALL Arrived(JNIEnv* env, jclass, jbyteArray label, jlong nanos)
{
    const jsize length = env->GetArrayLength(label);
    std::string text(static_cast<std::size_t>(length), '\0');
    env->GetByteArrayRegion(label, 0, length, reinterpret_cast<jbyte*>(text.data()));
    std::lock_guard lock(g_arrivals.mutex);
    g_arrivals.labels[text] = Clock::time_point(std::chrono::nanoseconds(nanos));
    g_arrivals.changed.notify_all();
}

// The Java VM of the program, with the bridge loaded and the listener in
// place; null (with a reason) when it cannot be had.
struct Java {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jclass optika = nullptr;
    std::string failure;

    static Java& get()
    {
        static Java java = start();
        return java;
    }

    jint callInt(const char* name, const char* signature, ...)
    {
        va_list args;
        va_start(args, signature);
        const jmethodID method = env->GetStaticMethodID(optika, name, signature);
        const jint result = method == nullptr ? -1000 : env->CallStaticIntMethodV(optika, method, args);
        va_end(args);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            return -1001;
        }
        return result;
    }

private:
    static Java start()
    {
        Java java;
        using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
        const HMODULE jvm = LoadLibraryA(VX_JAVA_HOME "/lib/server/libjvm.so");
        const auto create = reinterpret_cast<CreateJavaVM>(GetProcAddress(jvm, "JNI_CreateJavaVM"));
        if (create == nullptr) {
            java.failure = "no libjvm";
            return java;
        }
        std::string classPath = std::string("-Djava.class.path=") + VX_BENCH_BIN + "/JniOptika.jar:" + VX_BENCH_BIN +
                                "/JniBench.jar";
        JavaVMOption options[1];
        options[0].optionString = classPath.data();
        JavaVMInitArgs args{};
        args.version = JNI_VERSION_10;
        args.nOptions = 1;
        args.options = options;
        void* env = nullptr;
        if (create(&java.vm, &env, &args) != JNI_OK) {
            java.failure = "the JVM did not start";
            return java;
        }
        java.env = static_cast<JNIEnv*>(env);
        JNIEnv* e = java.env;
        const jclass listener = e->FindClass("JniBenchListener");
        if (listener != nullptr) {
            JNINativeMethod arrived = {const_cast<char*>("arrived"), const_cast<char*>("([BJ)V"),
                                       reinterpret_cast<void*>(&Arrived)};
            e->RegisterNatives(listener, &arrived, 1);
            // The bridge is loaded from Java, as a Java program loads it.
            const jstring library = e->NewStringUTF(VX_BENCH_BIN "/libjniOptika.so");
            e->CallStaticVoidMethod(listener, e->GetStaticMethodID(listener, "install", "(Ljava/lang/String;)V"),
                                    library);
        }
        java.optika = static_cast<jclass>(e->NewGlobalRef(e->FindClass("com/varnex/optika/JniOptika")));
        if (e->ExceptionCheck() || listener == nullptr || java.optika == nullptr) {
            e->ExceptionDescribe();
            e->ExceptionClear();
            java.failure = "the bridge or the listener did not load";
            return java;
        }
        const jint init = java.callInt("initMIDs", "()I");
        if (init != 0)
            java.failure = "initMIDs failed with " + std::to_string(init);
        return java;
    }
};

vxsim::SerialModel serialModel(unsigned baud)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = baud;
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    return model;
}

std::string numberedLabel(int n)
{
    std::string digits = std::to_string(n % 1000);
    return "LABEL" + std::string(3 - digits.size(), '0') + digits;
}

void BM_JniSerialScanToJavaCallback(benchmark::State& state)
{
    vxbench::isolate();
    Java& java = Java::get();
    if (!java.failure.empty()) {
        state.SkipWithError(java.failure.c_str());
        return;
    }
    const auto baud = static_cast<unsigned>(state.range(0));
    vxsim::VirtualSerialPort scanner(serialModel(baud), "bench-jni-serial-" + std::to_string(baud));
    if (!scanner.plug()) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    const jbyteArray noPort = java.env->NewByteArray(0);
    const jint found = java.callInt("pfnFindFirstPort", "(IIII[BIZZ)I", 60000, 0, static_cast<jint>(baud), 2, noPort,
                                    0, JNI_TRUE, JNI_FALSE);
    java.env->DeleteLocalRef(noPort);
    if (found != 0 || java.callInt("pfnConnect", "(I)I", 10000) != 0) {
        state.SkipWithError("the bridge did not connect");
        java.callInt("pfnDisconnect", "()I");
        return;
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pauseUs(0, 10000);
    std::vector<double> latencies;
    std::vector<double> wires;
    int n = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        const std::string label = numberedLabel(n++);
        const auto start = Clock::now();
        scanner.scan(label);
        const auto at = g_arrivals.waitFor(label);
        if (!at) {
            state.SkipWithError("a label never reached Java");
            break;
        }
        const double latency = std::chrono::duration<double, std::micro>(*at - start).count();
        state.SetIterationTime(latency / 1e6);
        latencies.push_back(latency);
        wires.push_back(std::chrono::duration<double, std::micro>(scanner.deliveredAt() - start).count());
        std::lock_guard lock(g_arrivals.mutex);
        g_arrivals.labels.erase(label);
    }
    java.callInt("pfnDisconnect", "()I");
    state.counters["p50_us"] = vxbench::percentile(latencies, 0.50);
    state.counters["p99_us"] = vxbench::percentile(latencies, 0.99);
    state.counters["wire_p50_us"] = vxbench::percentile(wires, 0.50);
    state.counters["wire_p99_us"] = vxbench::percentile(wires, 0.99);
}
BENCHMARK(BM_JniSerialScanToJavaCallback)
    ->Arg(9600)
    ->Arg(115200)
    ->ArgName("baud")
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
