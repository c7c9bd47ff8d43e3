import com.varnex.optika.JniOptika;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;
import java.util.function.IntSupplier;

/**
 * The Java bridge driven as a Java program drives it. One case per run:
 *   java -Xcheck:jni -Dvx.library=... -Dvx.bin=... JniOptikaTest CASE
 * prints a line per check and "N passed, N failed" at the end.
 */
public class JniOptikaTest {
    static int passed;
    static int failed;
    static final Events events = new Events();
    static final int CONNECT_MS = 10000;
    static final int FIND_MS = 30000;
    /** The time-out of a command the scanner answers: generous, for a busy machine. */
    static final int COMMAND_MS = 20000;
    static final String SYN_M = "\u0016M\r";

    static void check(String what, boolean ok) {
        check(what, ok, "");
    }

    static void check(String what, boolean ok, Object detail) {
        if (ok) {
            ++passed;
            System.out.println("PASS " + what);
        } else {
            ++failed;
            System.out.println("FAIL " + what + (detail.toString().isEmpty() ? "" : ": " + detail));
        }
    }

    static void expect(String what, int expected, int actual) {
        check(what + " == " + expected, expected == actual, "got " + actual);
    }

    static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.ISO_8859_1);
    }

    static String text(char[] chars) {
        int end = 0;
        while (end < chars.length && chars[end] != 0)
            ++end;
        return new String(chars, 0, end);
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("vx.library"));
        JniOptika.setListener(events);
        String name = args[0];
        switch (name) {
        case "no-device": noDevice(); break;
        case "variant": variant(); break;
        case "lock": lock(); break;
        case "lock-probe": lockProbe(); break;
        case "lock-hold": lockHold(); break;
        case "lock-release": lockRelease(); break;
        case "find-rs232": find(false); break;
        case "find-hid-lob": find(true); break;
        case "commands-rs232": commands(false); break;
        case "commands-hid-lob": commands(true); break;
        case "data-rs232": data(false); break;
        case "data-hid-lob": data(true); break;
        case "unplug-rs232": unplug(false); break;
        case "unplug-hid-lob": unplug(true); break;
        case "class-reference": classReference(); break;
        case "class-reference-child": classReferenceChild(); break;
        case "hid-pos-left-out": hidPosLeftOut(); break;
        case "firmware-rs232": firmware("rs232"); break;
        case "firmware-hid-lob": firmware("hid-lob"); break;
        case "firmware-cancel-rs232": firmwareCancel("rs232"); break;
        case "firmware-cancel-hid-lob": firmwareCancel("hid-lob"); break;
        case "callback-throws": callbackThrows(); break;
        case "threads-rs232": threads(false); break;
        case "threads-hid-lob": threads(true); break;
        case "callback-calls": callbackCalls(); break;
        case "exit-while-scanning": exitWhileScanning(); break;
        case "exit-child": exitChild(); break;
        default: check("known case " + name, false);
        }
        System.out.println(passed + " passed, " + failed + " failed");
        System.out.flush();
    }

    // --- helpers -------------------------------------------------------------

    static boolean isHid(Sim sim) {
        return !sim.path.startsWith("/dev/");
    }

    static int findByName(String port, int type) {
        byte[] name = bytes(port);
        return JniOptika.pfnFindFirstPort(FIND_MS, type, 9600, 2, name, name.length, false, false);
    }

    /** Finds the simulated scanner as a Java program would and connects it. */
    static void connect(Sim sim) {
        // A search probes line settings with short replies; a machine under
        // heavy load may miss one, so a search is tried again.
        int found = -1;
        for (int attempt = 0; attempt < 3 && found != 0; ++attempt)
            found = isHid(sim) ? findByName(sim.path, 2)
                               : JniOptika.pfnFindFirstPort(FIND_MS, 0, 115200, 2, new byte[0], 0, true, false);
        expect("find the scanner", 0, found);
        expect("pfnConnect", 0, JniOptika.pfnConnect(CONNECT_MS));
    }

    /**
     * Repeats `call` until it answers 0 or the bound has passed (a device
     * plugged back in is found again only once the system has published it);
     * its last answer.
     */
    static int untilZero(IntSupplier call) {
        long end = System.currentTimeMillis() + Events.BOUND_MS;
        int result;
        do {
            result = call.getAsInt();
        } while (result != 0 && System.currentTimeMillis() < end);
        return result;
    }

    static Sim scanner(boolean hid, String... extra) throws IOException {
        List<String> options = new ArrayList<>(Arrays.asList(hid ? new String[] {"--hid-model", "hid-lob"}
                                                                 : new String[] {"--serial-model", "rs232"}));
        options.addAll(Arrays.asList(extra));
        return new Sim(options.toArray(new String[0]));
    }

    static String[] deviceInformation() {
        char[] device = new char[512];
        char[] product = new char[4096];
        int result = JniOptika.pfnDeviceInformation(device, product);
        return new String[] {String.valueOf(result), text(device), text(product)};
    }

    /** A label scanned now reaches cppBarcodeCallBack. */
    static boolean labelArrives(Sim sim, String label) throws Exception {
        int from = events.size();
        sim.scan("E0", 0x64, label);
        return events.waitForLabel(from, label) != null;
    }

    /** Whether the simulator took a scan (a scanner in its bootloader does not). */
    static boolean scanAccepted(Sim sim) {
        try {
            sim.scan("E0", 0x64, "PROBE");
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    static String javaCommand() {
        return ProcessHandle.current().info().command().orElse("java");
    }

    /** This program again, in a JVM of its own, for `name`. */
    static Process otherJvm(String name, String classPath) throws IOException {
        return jvm(name, classPath).redirectErrorStream(true).start();
    }

    /** The command of another JVM for `name`, not started yet. */
    static ProcessBuilder jvm(String name, String classPath) {
        List<String> command = new ArrayList<>();
        command.add(javaCommand());
        command.add("-Xcheck:jni");
        command.add("-cp");
        command.add(classPath);
        command.add("-Dvx.library=" + System.getProperty("vx.library"));
        command.add("-Dvx.bin=" + System.getProperty("vx.bin"));
        command.add("JniOptikaTest");
        command.add(name);
        return new ProcessBuilder(command);
    }

    /** Runs another JVM's case to its end; its whole output. */
    static String runJvm(String name) throws Exception {
        Process process = otherJvm(name, System.getProperty("java.class.path"));
        process.getOutputStream().close();
        String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.ISO_8859_1);
        check("JVM \"" + name + "\" ends", process.waitFor(60, TimeUnit.SECONDS));
        checkJvmOutput(name, output);
        return output;
    }

    static void checkJvmOutput(String name, String output) {
        check("JVM \"" + name + "\" without JNI warnings",
              !output.contains("WARNING in native method") && !output.contains("FATAL ERROR"), output);
        check("JVM \"" + name + "\" passed", output.contains(" passed, 0 failed"), output);
    }

    // --- no device -------------------------------------------------------------

    static void noDevice() {
        expect("initMIDs", 0, JniOptika.initMIDs());
        expect("pfnFindFirstPort with a null port", -1,
               JniOptika.pfnFindFirstPort(100, 0, 9600, 2, null, 4, false, false));
        expect("pfnSendMessageSync with a null command", -1,
               JniOptika.pfnSendMessageSync(null, 100, new char[8], 0));
        expect("pfnSendMessageSync with a null response", -1,
               JniOptika.pfnSendMessageSync(bytes("X!\0"), 100, null, 0));
        expect("pfnSendMessageAsync with a null command", -1, JniOptika.pfnSendMessageAsync(null, 0));
        expect("pfnDeviceInformation with a null array", -1, JniOptika.pfnDeviceInformation(null, new char[8]));
        expect("pfnUpgradeFirmware with a null protocol file", -1,
               JniOptika.pfnUpgradeFirmware(0, 1, "debug.log", null, ".", "fw.mocf"));
        expect("pfnUpgradeFirmware with a null folder", -1,
               JniOptika.pfnUpgradeFirmware(0, 1, "debug.log", "p.txt", null, "fw.mocf"));

        String[] info = deviceInformation();
        expect("pfnDeviceInformation", -1, Integer.parseInt(info[0]));
        check("device information of no device", info[1].equals("0;0;0;0;0;;;;"), info[1]);

        expect("pfnSendMessageSync", 9, JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), 500, new char[64], 0));
        expect("pfnSendMessageAsync", 9, JniOptika.pfnSendMessageAsync(SYN_M + "BEPLVL?!", 0));
        expect("pfnSwitchDataMode", 15, JniOptika.pfnSwitchDataMode(0));
        expect("pfnReconnect", 7, JniOptika.pfnReconnect());
        expect("pfnCancelUpgradeFirmware", 0, JniOptika.pfnCancelUpgradeFirmware());
        expect("pfnUpgradeFirmware", 16, JniOptika.pfnUpgradeFirmware(0, 1, "debug.log", "p.txt", ".", "fw.mocf"));
        expect("pfnCancelUpgradeFirmware after it (no updater left)", 0, JniOptika.pfnCancelUpgradeFirmware());
        expect("find with Break", 7, JniOptika.pfnFindFirstPort(2000, 2, 9600, 2, new byte[0], 0, false, true));
        expect("find with nothing there", 7, JniOptika.pfnFindFirstPort(2000, 2, 9600, 2, new byte[0], 0, false, false));
        expect("pfnDisconnect", 9, JniOptika.pfnDisconnect());
        expect("pfnConnect", 7, JniOptika.pfnConnect(1000));
        expect("pfnConnect again in the same process", 7, JniOptika.pfnConnect(1000));
        JniOptika.pfnSetDebugger(2, "debugger.log");
        JniOptika.pfnSetSDKLogLevel(6);
        check("pfnSetDebugger after the load keeps the load's output", !new File("debugger.log").exists());
        expect("pfnDisconnect", 9, JniOptika.pfnDisconnect());
        JniOptika.deInitMIDs();
        JniOptika.deInitMIDs();
        check("deInitMIDs twice", true);
    }

    static void variant() {
        expect("initMIDs of a class without cppRawDataCallBack", 2006, JniOptika.initMIDs());
    }

    // --- the in-use lock --------------------------------------------------------

    static void lockProbe() {
        expect("a second process's pfnConnect", 2007, JniOptika.pfnConnect(500));
        expect("a second process's pfnConnect again", 2007, JniOptika.pfnConnect(500));
    }

    static void lockRelease() {
        expect("a third process's pfnDisconnect (nothing connected)", 9, JniOptika.pfnDisconnect());
    }

    static void lockHold() throws IOException {
        expect("pfnConnect without a device", 7, JniOptika.pfnConnect(500));
        System.out.println("held");
        System.out.flush();
        // Holds the library until the parent closes our input (or kills us).
        while (System.in.read() >= 0) {
        }
    }

    static void lock() throws Exception {
        expect("pfnConnect without a device", 7, JniOptika.pfnConnect(500));
        runJvm("lock-probe");
        runJvm("lock-release");
        runJvm("lock-probe");
        expect("pfnDisconnect in the holding process", 9, JniOptika.pfnDisconnect());
        String free = runJvm("lock-hold");  // its input is closed at once: it connects (7) and ends
        check("the lock passes once the first disconnected", free.contains("PASS pfnConnect without a device == 7"), free);

        // A holder that is killed lets the lock go with it.
        Process holder = otherJvm("lock-hold", System.getProperty("java.class.path"));
        BufferedReader out = new BufferedReader(new InputStreamReader(holder.getInputStream()));
        String line;
        while ((line = out.readLine()) != null && !line.equals("held")) {
        }
        check("the other JVM holds the library", "held".equals(line));
        expect("pfnConnect while another JVM holds it", 2007, JniOptika.pfnConnect(500));
        holder.destroyForcibly();
        check("the holder is killed", holder.waitFor(30, TimeUnit.SECONDS));
        expect("pfnConnect once the holder was killed", 7, JniOptika.pfnConnect(500));
        expect("pfnDisconnect", 9, JniOptika.pfnDisconnect());
    }

    // --- against a simulated scanner -------------------------------------------

    static void find(boolean hid) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim sim = scanner(hid, "--identity", "arch2")) {
            String port;
            int type;
            if (hid) {
                port = sim.path;
                type = 2;
            } else {
                expect("find by Autodetect", 0,
                       JniOptika.pfnFindFirstPort(FIND_MS, 0, 115200, 2, new byte[0], 0, true, false));
                String[] info = deviceInformation();
                port = info[1].split(";", -1)[5];
                type = 0;
                check("the port is a COM name", port.startsWith("COM"), port);
            }
            // The name given by its length, with more bytes behind it and no zero byte.
            byte[] name = bytes(port + "XYZ");
            expect("find by a port name given by length", 0,
                   JniOptika.pfnFindFirstPort(FIND_MS, type, 9600, 2, name, port.length(), false, false));
            if (!hid) {
                // A length past the array is cut to it: "<port>XYZ" is no port.
                expect("find with a length past the array", 7,
                       JniOptika.pfnFindFirstPort(3000, type, 9600, 2, name, name.length + 100, false, false));
                expect("find by the name again", 0,
                       JniOptika.pfnFindFirstPort(FIND_MS, type, 9600, 2, name, port.length(), false, false));
            }
            expect("pfnConnect", 0, JniOptika.pfnConnect(CONNECT_MS));
            long before = System.nanoTime();
            expect("connected: the same port in lower case", 0, findByName(port.toLowerCase(), type));
            check("... without a search", System.nanoTime() - before < 1_000_000_000L);
            expect("connected: another port", 8, findByName(port + "9", type));
            expect("connected: another interface type", 8, findByName(port, hid ? 0 : 2));
            expect("pfnConnect again", 0, JniOptika.pfnConnect(CONNECT_MS));

            String[] info = deviceInformation();
            expect("pfnDeviceInformation", 0, Integer.parseInt(info[0]));
            String[] fields = info[1].split(";", -1);
            check("device information has eight fields", fields.length == 9 && fields[8].isEmpty(), info[1]);
            if (fields.length == 9) {
                check("interface type", fields[0].equals(hid ? "2" : "0"), info[1]);
                check("product number is the flash type", fields[1].equals("2"), info[1]);
                check("feature flags", fields[2].matches("[01]") && fields[3].matches("[01]"), info[1]);
                check("device number is the application mode", fields[4].equals("1"), info[1]);
                check("port", fields[5].equals(port), info[1]);
                check("product name", fields[6].equals("VX-1200"), info[1]);
                check("serial number", fields[7].equals("T2000003"), info[1]);
            }
            check("the P_INFO text", info[2].contains("hw-sn: T2000003") && info[2].contains("app-p_name: VX-1200"), info[2]);
            try {
                JniOptika.pfnDeviceInformation(new char[4], new char[4096]);
                check("a too-short array raises in Java", false);
            } catch (ArrayIndexOutOfBoundsException e) {
                check("a too-short array raises in Java", true);
            }
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
            expect("pfnDisconnect again", 9, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    static void commands(boolean hid) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim sim = scanner(hid)) {
            connect(sim);
            char[] response = new char[64];
            Arrays.fill(response, '#');
            expect("a sync command", 0, JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0junk"), COMMAND_MS, response, 0));
            check("its reply reaches Java", new String(response).startsWith("BEPLVL2\u0006!#"), new String(response));

            // A reply holding a zero byte reaches Java only up to it.
            sim.command("rule ZERTST " + Sim.hex(bytes("ZERTST1\0" + "9\u0006!")));
            Arrays.fill(response, '#');
            expect("a reply with a zero byte", 0, JniOptika.pfnSendMessageSync(bytes(SYN_M + "ZERTST!\0"), COMMAND_MS, response, 0));
            check("... up to its first zero byte", new String(response).startsWith("ZERTST1#"), new String(response));

            // A command without a zero byte is taken to the end of its array.
            Arrays.fill(response, '#');
            expect("a command without a zero byte", 0, JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!"), COMMAND_MS, response, 0));

            expect("a too-short response array", 2004,
                   JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), COMMAND_MS, new char[3], 0));
            check("no exception pending after it", true);

            sim.command("rule DIGITS " + Sim.hex(bytes("DIGITS0\u00060\u0006")));
            Arrays.fill(response, '#');
            expect("a reply ending 30 06 30 06", 0, JniOptika.pfnSendMessageSync(bytes(SYN_M + "DIGITS!\0"), COMMAND_MS, response, 0));
            check("... reaches Java", new String(response).startsWith("DIGITS0\u00060\u0006#"), new String(response));

            sim.command("silence");
            expect("a silent scanner", 3, JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), 1000, response, 0));
            sim.command("talk");
            expect("it answers again", 0, JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), COMMAND_MS, response, 0));

            int from = events.size();
            expect("an async command", 0, JniOptika.pfnSendMessageAsync(SYN_M + "BEPLVL?!", 0));
            Events.Event menu = events.waitFor(from, e -> e.kind.equals("menu"));
            check("its reply reaches cppMenuDataCallBack", menu != null);
            if (menu != null) {
                check("terminator '!', response ACK, tag data '2'",
                      menu.numbers[0] == 2 && menu.numbers[1] == 0 && menu.numbers[2] == '2',
                      Arrays.toString(menu.numbers));
                check("its bytes", menu.text().equals("BEPLVL2\u0006!") && menu.length == menu.data.length, menu.text());
            }
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    static void data(boolean hid) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim sim = scanner(hid)) {
            connect(sim);
            int from = events.size();
            sim.scan("E0", 0x64, "4006381333931");
            Events.Event label = events.waitForLabel(from, "4006381333931");
            check("a label arrives", label != null);
            if (label != null) {
                check("its AIM bytes \"E0\" and 0", Arrays.equals(label.aim, new byte[] {'E', '0', 0}), Arrays.toString(label.aim));
                check("its code id", label.code == 0x64, label.code);
                check("its length", label.length == 13 && label.data.length == 13, label.length);
                check("on a thread of the bridge's", label.thread != Thread.currentThread());
            }
            from = events.size();
            sim.scan("E0", 0xC1, "C1");
            label = events.waitForLabel(from, "C1");
            check("code id 0xC1 arrives as -63", label != null && label.code == -63, label == null ? "none" : label.code);

            from = events.size();
            sim.scan("Q1", 0x64, "");
            label = events.waitFor(from, e -> e.kind.equals("barcode"));
            check("an empty label arrives with length 0",
                  label != null && label.length == 0 && label.data.length == 0 && label.aim[0] == 'Q');

            byte[] image = new byte[300];
            for (int i = 0; i < image.length; ++i)
                image[i] = (byte) (i * 7);
            from = events.size();
            sim.command("image 6 " + Sim.hex(image));
            Events.Event picture = events.waitFor(from, e -> e.kind.equals("image"));
            check("an image arrives", picture != null);
            if (picture != null) {
                check("its format", picture.numbers[0] == 6, picture.numbers[0]);
                check("its bytes", Arrays.equals(picture.data, image) && picture.length == image.length, picture.length);
            }

            expect("raw data mode", 0, JniOptika.pfnSwitchDataMode(0));
            from = events.size();
            sim.command("raw " + Sim.hex(bytes("RAW-BYTES\0\u00ff")));
            long end = System.currentTimeMillis() + Events.BOUND_MS;
            StringBuilder raw = new StringBuilder();
            while (!raw.toString().contains("RAW-BYTES\0\u00ff") && System.currentTimeMillis() < end) {
                Events.Event piece = events.waitFor(from, e -> e.kind.equals("raw"));
                if (piece == null)
                    break;
                raw.append(piece.text());
                from = events.all().indexOf(piece) + 1;
            }
            check("raw bytes arrive after mode 0", raw.toString().contains("RAW-BYTES\0\u00ff"), raw);
            expect("back to decoded data", 0, JniOptika.pfnSwitchDataMode(1));
            check("labels again", labelArrives(sim, "AFTER-RAW"));
            check("no bridge error reached Java", events.of("error").isEmpty());
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    static void unplug(boolean hid) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim sim = scanner(hid)) {
            connect(sim);
            check("a label arrives", labelArrives(sim, "BEFORE"));
            int from = events.size();
            sim.command("unplug");
            Events.Event gone = events.waitFor(from, e -> e.kind.equals("disconnect"));
            check("unplugging calls cppDisconnectCallBack", gone != null);
            check("with the port name", gone != null && gone.length > 0 && gone.length == gone.data.length,
                  gone == null ? "" : gone.text());
            sim.command("replug");
            int reconnected = untilZero(JniOptika::pfnReconnect);
            expect("pfnReconnect after the re-plug", 0, reconnected);
            check("labels after the reconnect", labelArrives(sim, "AFTER-REPLUG"));

            from = events.size();
            sim.command("unplug");
            check("a second unplug is noticed", events.waitFor(from, e -> e.kind.equals("disconnect")) != null);
            int failedReconnect = JniOptika.pfnReconnect();
            check("pfnReconnect while the device is gone fails with 3 or 7",
                  failedReconnect == 3 || failedReconnect == 7, failedReconnect);
            int connect = JniOptika.pfnConnect(2000);
            check("then pfnConnect answers 3 or 7, not 0", connect == 3 || connect == 7, connect);
            sim.command("replug");
            int again = untilZero(() -> JniOptika.pfnConnect(CONNECT_MS));
            expect("pfnConnect once it is back", 0, again);
            check("labels after it", labelArrives(sim, "AFTER-CONNECT"));
            check("one disconnect callback per unplug", events.of("disconnect").size() == 2, events.of("disconnect").size());
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
            expect("pfnDisconnect again", 9, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    /** The bridge searches line-of-business interfaces only. */
    static void hidPosLeftOut() throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim pos = new Sim("--hid-model", "hid-pos", "--identity", "arch2", "--id", "pos")) {
            expect("a point-of-sale HID scanner alone is not found", 7, findByName(pos.path, 2));
            try (Sim lob = new Sim("--hid-model", "hid-lob", "--identity", "arch2", "--id", "lob")) {
                expect("beside a line-of-business one", 0, findByName(pos.path, 2));
                String port = deviceInformation()[1].split(";", -1)[5];
                check("the line-of-business one is found", port.equals(lob.path), port);
            }
        }
        JniOptika.deInitMIDs();
    }

    /**
     * Callbacks without initMIDs, and after deInitMIDs, are dropped. They are
     * forwarded on the bridge's own threads, so a drop may still be under way
     * when the next step runs: the case runs in a JVM of its own with the
     * bridge's log on its standard error, and each step that must come after
     * a drop waits until this JVM read the drop in that log.
     */
    static void classReference() throws Exception {
        ProcessBuilder builder = jvm("class-reference-child", System.getProperty("java.class.path"));
        builder.environment().put("VX_DEBUG_OUTPUT", "stderr");
        Process child = builder.start();
        BridgeLog log = new BridgeLog(child.getErrorStream());
        BufferedReader out = new BufferedReader(new InputStreamReader(child.getInputStream(), StandardCharsets.ISO_8859_1));
        Writer in = new OutputStreamWriter(child.getOutputStream(), StandardCharsets.ISO_8859_1);
        StringBuilder output = new StringBuilder();
        String line;
        while ((line = out.readLine()) != null) {
            output.append(line).append('\n');
            System.out.println("  child: " + line);
            String[] asked = line.split(" ");
            if (asked.length == 3 && asked[0].equals("dropped?")) {
                String tag = asked[1].equals("barcode") ? "g_BarcodeDataCallBack() " : "g_DisconnectCallBack() ";
                boolean seen = log.waitFor(tag, "call dropped", Integer.parseInt(asked[2]));
                in.write(seen ? "yes\n" : "no\n");
                in.flush();
            }
        }
        in.close();
        check("JVM \"class-reference-child\" ends", child.waitFor(60, TimeUnit.SECONDS));
        checkJvmOutput("class-reference-child", output + log.text());
    }

    /** Lines of a JVM's bridge log, read as they come, with a wait on them. */
    static final class BridgeLog {
        private final List<String> lines = new ArrayList<>();
        private final Thread reader;

        BridgeLog(InputStream stream) {
            reader = new Thread(() -> {
                BufferedReader text = new BufferedReader(new InputStreamReader(stream, StandardCharsets.ISO_8859_1));
                try {
                    for (String line; (line = text.readLine()) != null;)
                        add(line);
                } catch (IOException e) {
                    add("BridgeLog: " + e);
                }
            });
            reader.setDaemon(true);
            reader.start();
        }

        private synchronized void add(String line) {
            lines.add(line);
            notifyAll();
        }

        /** Whether `count` lines holding both texts arrived within the bound. */
        synchronized boolean waitFor(String tag, String text, int count) throws InterruptedException {
            long end = System.currentTimeMillis() + Events.BOUND_MS;
            for (;;) {
                if (lines.stream().filter(l -> l.contains(tag) && l.contains(text)).count() >= count)
                    return true;
                long left = end - System.currentTimeMillis();
                if (left <= 0)
                    return false;
                wait(left);
            }
        }

        /** Everything read, once the stream ended (or after the bound). */
        String text() throws InterruptedException {
            reader.join(Events.BOUND_MS);
            synchronized (this) {
                return String.join("\n", lines);
            }
        }
    }

    /** Asks the JVM that runs this one whether the bridge logged `count` drops of `kind`. */
    static boolean dropped(BufferedReader parent, String kind, int count) throws IOException {
        System.out.println("dropped? " + kind + " " + count);
        System.out.flush();
        return "yes".equals(parent.readLine());
    }

    static void classReferenceChild() throws Exception {
        BufferedReader parent = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.ISO_8859_1));
        try (Sim sim = scanner(true)) {
            connect(sim);
            sim.scan("E0", 0x64, "UNHEARD");
            check("the label before initMIDs is dropped", dropped(parent, "barcode", 1));
            sim.command("unplug");
            check("the unplug before initMIDs is dropped", dropped(parent, "disconnect", 1));
            sim.command("replug");
            int reconnected = untilZero(JniOptika::pfnReconnect);
            expect("pfnReconnect", 0, reconnected);
            expect("initMIDs late", 0, JniOptika.initMIDs());
            check("a label arrives once initMIDs ran", labelArrives(sim, "HEARD"));
            check("nothing arrived before initMIDs",
                  events.all().stream().noneMatch(e -> e.text().equals("UNHEARD") || e.kind.equals("disconnect")));
            JniOptika.deInitMIDs();
            int from = events.size();
            sim.scan("E0", 0x64, "AFTER-DEINIT");
            expect("a sync command after deInitMIDs", 0,
                   JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), COMMAND_MS, new char[64], 0));
            check("the label after deInitMIDs is dropped", dropped(parent, "barcode", 2));
            expect("initMIDs again", 0, JniOptika.initMIDs());
            check("labels after the second initMIDs", labelArrives(sim, "SECOND"));
            final int mark = from;
            check("what came between was dropped",
                  events.all().subList(mark, events.size()).stream()
                      .noneMatch(e -> e.text().equals("AFTER-DEINIT")));
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    // --- firmware ------------------------------------------------------------------

    static Path firmwareFiles() throws Exception {
        Path dir = Files.createTempDirectory(Path.of("").toAbsolutePath(), "firmware");
        Process tool = new ProcessBuilder(System.getProperty("vx.bin") + "/vx_jni_firmware_files", dir.toString())
                           .redirectErrorStream(true).start();
        String output = new String(tool.getInputStream().readAllBytes());
        check("firmware files written", tool.waitFor() == 0, output);
        return dir;
    }

    static Sim flashable(String kind, String serial) throws IOException {
        return new Sim("--flashable", kind, "--id", "fw-" + kind, "--serial-number", serial, "--no-wire-time");
    }

    static int upgrade(Path files, String folder, String file) {
        return JniOptika.pfnUpgradeFirmware(-1, -1, files.resolve("flash.log").toString(),
                                            files.resolve("timings.txt").toString(), folder, file);
    }

    static void firmware(String kind) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        Path files = firmwareFiles();
        String bin = System.getProperty("vx.bin");
        try (Sim sim = flashable(kind, "SN-JNI-" + kind.toUpperCase())) {
            connect(sim);
            check("a label arrives", labelArrives(sim, "BEFORE-FLASH"));

            int from = events.size();
            expect("a firmware update", 0, upgrade(files, bin, files.resolve("application.mocf").toString()));
            List<Events.Event> progress = events.all().subList(from, events.size());
            progress.removeIf(e -> !e.kind.equals("progress"));
            check("progress reached Java", !progress.isEmpty());
            boolean ownThread = true;
            boolean rising = true;
            for (int i = 0; i < progress.size(); ++i) {
                ownThread &= progress.get(i).thread == Thread.currentThread();
                if (i > 0)
                    rising &= progress.get(i).numbers[0] >= progress.get(i - 1).numbers[0]
                              && progress.get(i).numbers[1] == progress.get(0).numbers[1];
            }
            check("progress on the calling thread", ownThread);
            check("progress never falls", rising);
            check("progress ends at the total", !progress.isEmpty()
                  && progress.get(progress.size() - 1).numbers[0] == progress.get(progress.size() - 1).numbers[1]);
            check("labels after the update, without pfnReconnect", labelArrives(sim, "AFTER-FLASH"));

            expect("a bad firmware file", 10, upgrade(files, bin, files.resolve("bad.mocf").toString()));
            check("labels after the bad file", labelArrives(sim, "AFTER-BAD-FILE"));
            Path empty = Files.createDirectory(files.resolve("no-library"));
            expect("a folder without the flash library", 10,
                   upgrade(files, empty.toString(), files.resolve("application.mocf").toString()));
            check("labels after the missing library", labelArrives(sim, "AFTER-NO-LIBRARY"));

            // Another process holds the device's block, as a second update would.
            Process holder = new ProcessBuilder(bin + "/vx_block_holder", "SN-JNI-" + kind.toUpperCase()).start();
            String held = new BufferedReader(new InputStreamReader(holder.getInputStream())).readLine();
            check("another process holds the device block", held != null && held.startsWith("held"), held);
            expect("an update of a blocked device", 16, upgrade(files, bin, files.resolve("application.mocf").toString()));
            holder.getOutputStream().close();
            holder.waitFor(30, TimeUnit.SECONDS);
            check("labels still flow", labelArrives(sim, "AFTER-BLOCK"));
            check("no bridge error reached Java", events.of("error").isEmpty());
            expect("pfnDisconnect", 0, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    static void firmwareCancel(String kind) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        Path files = firmwareFiles();
        try (Sim sim = flashable(kind, "SN-JNI-CANCEL")) {
            connect(sim);
            // The cancel comes from another Java thread in the middle of the
            // application's transfer: the flashing thread waits in its
            // progress callback until the cancel has returned.
            CountDownLatch transferring = new CountDownLatch(1);
            CountDownLatch cancelled = new CountDownLatch(1);
            JniOptika.setListener(new Events() {
                @Override public void firmwareProgress(int transferred, int total) {
                    events.firmwareProgress(transferred, total);
                    if (transferred > 0 && transferred < total && transferring.getCount() > 0) {
                        transferring.countDown();
                        try {
                            cancelled.await(Events.BOUND_MS, TimeUnit.MILLISECONDS);
                        } catch (InterruptedException e) {
                            Thread.currentThread().interrupt();
                        }
                    }
                }
            });
            AtomicInteger cancel = new AtomicInteger(-1);
            Thread canceller = new Thread(() -> {
                try {
                    if (transferring.await(Events.BOUND_MS, TimeUnit.MILLISECONDS))
                        cancel.set(JniOptika.pfnCancelUpgradeFirmware());
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
                cancelled.countDown();
            });
            canceller.start();
            int result = upgrade(files, System.getProperty("vx.bin"), files.resolve("application.mocf").toString());
            canceller.join();
            expect("the cancel", 0, cancel.get());
            check("the cancel came in the middle of the transfer", transferring.getCount() == 0);
            expect("a cancelled update", 17, result);
            check("the scanner stays in its bootloader", !scanAccepted(sim));
            expect("then not connected", 9, JniOptika.pfnDisconnect());
        }
        JniOptika.deInitMIDs();
    }

    // --- natives from several Java threads at once ------------------------------

    /** Every code a native answers: the facade's, the bridge's own, -1. */
    static boolean knownCode(int code) {
        return Arrays.asList(-1, 0, 2, 3, 7, 8, 9, 12, 15, 16, 17, 2001, 2004, 2007).contains(code);
    }

    /**
     * `count` Java threads, released together, each calling natives in turn
     * (connect, find, sync and async commands, the mode, reconnect,
     * disconnect). Each ends, and every call answers a known code.
     */
    static void together(String what, int count, byte[] port, int type) throws Exception {
        CountDownLatch start = new CountDownLatch(1);
        List<Thread> threads = new ArrayList<>();
        List<String> odd = java.util.Collections.synchronizedList(new ArrayList<>());
        AtomicInteger calls = new AtomicInteger();
        for (int t = 0; t < count; ++t) {
            final int self = t;
            Thread thread = new Thread(() -> {
                try {
                    start.await();
                } catch (InterruptedException e) {
                    return;
                }
                for (int i = 0; i < 7; ++i) {
                    int code;
                    String call;
                    switch ((self + i) % 7) {
                    case 0: call = "pfnConnect"; code = JniOptika.pfnConnect(3000); break;
                    case 1: call = "pfnFindFirstPort";
                            code = JniOptika.pfnFindFirstPort(3000, type, 9600, 2, port, port.length, false, false); break;
                    case 2: call = "pfnSendMessageSync";
                            code = JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), 1000, new char[64], 0); break;
                    case 3: call = "pfnSendMessageAsync"; code = JniOptika.pfnSendMessageAsync(SYN_M + "BEPLVL?!", 0); break;
                    case 4: call = "pfnSwitchDataMode"; code = JniOptika.pfnSwitchDataMode(1); break;
                    case 5: call = "pfnReconnect"; code = JniOptika.pfnReconnect(); break;
                    default: call = "pfnDisconnect"; code = JniOptika.pfnDisconnect(); break;
                    }
                    calls.incrementAndGet();
                    if (!knownCode(code))
                        odd.add(call + " " + code);
                }
            });
            threads.add(thread);
            thread.start();
        }
        start.countDown();
        boolean ended = true;
        for (Thread thread : threads) {
            thread.join(100000);
            ended &= !thread.isAlive();
        }
        check(what + ": " + count + " threads end", ended);
        check(what + ": every call answers a known code", ended && odd.isEmpty() && calls.get() == 7 * count, odd);
    }

    static void threads(boolean hid) throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        try (Sim sim = scanner(hid)) {
            connect(sim);
            String port = deviceInformation()[1].split(";", -1)[5];
            int type = hid ? 2 : 0;
            byte[] name = bytes(port);
            together("a live scanner", 2, name, type);
            together("a live scanner", 8, name, type);
            // Whatever state the threads left: connected again, it works.
            int found = -1;
            for (int attempt = 0; attempt < 3 && found != 0; ++attempt)
                found = findByName(port, type);
            expect("found again after the threads", 0, found);
            expect("connected again", 0, JniOptika.pfnConnect(CONNECT_MS));
            check("labels after the threads", labelArrives(sim, "AFTER-THREADS"));

            sim.command("unplug");
            together("a vanished scanner", 2, name, type);
            together("a vanished scanner", 8, name, type);
            int last = JniOptika.pfnDisconnect();
            check("pfnDisconnect at the end answers 0 or 9", last == 0 || last == 9, last);
            sim.command("replug");
        }
        JniOptika.deInitMIDs();
    }

    /**
     * Natives called from inside the bridge's own callbacks: a sync command
     * from the label callback, a disconnect from the disconnect callback.
     * Both answer; nothing waits for ever.
     */
    static void callbackCalls() throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        AtomicInteger fromLabel = new AtomicInteger(Integer.MIN_VALUE);
        AtomicInteger fromDisconnect = new AtomicInteger(Integer.MIN_VALUE);
        CountDownLatch labelDone = new CountDownLatch(1);
        CountDownLatch disconnectDone = new CountDownLatch(1);
        CountDownLatch holding = new CountDownLatch(1);
        AtomicInteger whileDisconnecting = new AtomicInteger(Integer.MIN_VALUE);
        JniOptika.setListener(new Events() {
            @Override public void barcode(byte[] aimId, byte codeId, byte[] data, int length) {
                events.barcode(aimId, codeId, data, length);
                String label = new String(data, StandardCharsets.ISO_8859_1);
                if (label.equals("ASK") && labelDone.getCount() > 0) {
                    fromLabel.set(JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), 1000, new char[64], 0));
                    labelDone.countDown();
                }
                if (label.equals("HOLD") && holding.getCount() > 0) {
                    // Keeps calling until the main thread's disconnect,
                    // which waits for this very thread, holds the scanner.
                    holding.countDown();
                    long end = System.currentTimeMillis() + Events.BOUND_MS;
                    int code = 0;
                    while (code == 0 && System.currentTimeMillis() < end)
                        code = JniOptika.pfnSendMessageAsync(SYN_M + "BEPLVL?!", 0);
                    whileDisconnecting.set(code);
                }
            }
            @Override public void disconnect(byte[] message, int length) {
                events.disconnect(message, length);
                if (disconnectDone.getCount() > 0) {
                    fromDisconnect.set(JniOptika.pfnDisconnect());
                    disconnectDone.countDown();
                }
            }
        });
        try (Sim sim = scanner(false)) {
            connect(sim);
            sim.scan("E0", 0x64, "ASK");
            check("the label callback's sync command returns", labelDone.await(Events.BOUND_MS, TimeUnit.MILLISECONDS));
            check("... with a known code", knownCode(fromLabel.get()), fromLabel.get());
            expect("a sync command from the main thread afterwards", 0,
                   JniOptika.pfnSendMessageSync(bytes(SYN_M + "BEPLVL?!\0"), COMMAND_MS, new char[64], 0));
            check("labels after it", labelArrives(sim, "AFTER-ASK"));

            sim.scan("E0", 0x64, "HOLD");
            check("the label callback calls on", holding.await(Events.BOUND_MS, TimeUnit.MILLISECONDS));
            expect("pfnDisconnect while the label callback calls natives", 0, JniOptika.pfnDisconnect());
            int refused = whileDisconnecting.get();
            check("... whose last call answered a failure", refused != 0 && knownCode(refused), refused);

            connect(sim);
            sim.command("unplug");
            check("the disconnect callback's pfnDisconnect returns",
                  disconnectDone.await(Events.BOUND_MS, TimeUnit.MILLISECONDS));
            expect("... and disconnects", 0, fromDisconnect.get());
            expect("then nothing is connected", 9, JniOptika.pfnDisconnect());
            sim.command("replug");
        }
        JniOptika.deInitMIDs();
    }

    // --- callbacks that throw, and the process's end --------------------------

    static void callbackThrows() throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        AtomicInteger throwsLeft = new AtomicInteger(1);
        JniOptika.setListener(new Events() {
            @Override public void barcode(byte[] aimId, byte codeId, byte[] data, int length) {
                if (throwsLeft.getAndDecrement() > 0)
                    throw new IllegalStateException("a callback that throws");
                events.barcode(aimId, codeId, data, length);
            }
            @Override public void barcodeError(char[] message, int code) {
                events.barcodeError(message, code);
            }
        });
        Sim sim = scanner(true);
        connect(sim);
        int from = events.size();
        sim.scan("E0", 0x64, "THROWN");
        Events.Event error = events.waitFor(from, e -> e.kind.equals("error"));
        check("cppBarcodeErrorCallBack is called", error != null);
        if (error != null) {
            check("with \"[Error]\" and a zero char",
                  Arrays.equals(error.chars, new char[] {'[', 'E', 'r', 'r', 'o', 'r', ']', 0}), new String(error.chars));
            expect("with the code", 2006, error.numbers[0]);
        }
        check("the next label arrives", labelArrives(sim, "NEXT"));
        // main returns with the scanner connected and its simulator running:
        // the JVM must still end.
    }

    /** A JVM that calls System.exit while labels flow ends promptly. */
    static void exitWhileScanning() throws Exception {
        Process child = otherJvm("exit-child", System.getProperty("java.class.path"));
        child.getOutputStream().close();
        BufferedReader out = new BufferedReader(new InputStreamReader(child.getInputStream()));
        StringBuilder output = new StringBuilder();
        String line;
        while ((line = out.readLine()) != null && !line.equals("exiting"))
            output.append(line).append('\n');
        check("the other JVM reached System.exit", "exiting".equals(line), output);
        long start = System.nanoTime();
        boolean ended = child.waitFor(10, TimeUnit.SECONDS);
        check("it ends within 10 s of System.exit", ended,
              (System.nanoTime() - start) / 1000000 + " ms");
        if (!ended)
            child.destroyForcibly().waitFor();
        while ((line = out.readLine()) != null)
            output.append(line).append('\n');
        checkJvmOutput("exit-child", output.toString());
    }

    static void exitChild() throws Exception {
        expect("initMIDs", 0, JniOptika.initMIDs());
        Sim sim = scanner(false);
        connect(sim);
        CountDownLatch flowing = new CountDownLatch(20);
        JniOptika.setListener(new Events() {
            @Override public void barcode(byte[] aimId, byte codeId, byte[] data, int length) {
                flowing.countDown();
            }
        });
        Thread scanning = new Thread(() -> {
            try {
                for (int i = 0;; ++i)
                    sim.scan("E0", 0x64, "FLOW" + i);
            } catch (IOException e) {
                // the simulator goes with us
            }
        });
        scanning.setDaemon(true);
        scanning.start();
        check("labels flow", flowing.await(Events.BOUND_MS, TimeUnit.MILLISECONDS));
        System.out.println(passed + " passed, " + failed + " failed");
        System.out.println("exiting");
        System.out.flush();
        System.exit(0);
    }
}
