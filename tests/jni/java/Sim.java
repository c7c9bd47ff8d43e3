import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/** A simulated scanner in a process of its own: vxsimulator --control. */
final class Sim implements AutoCloseable {
    final String id;
    final String path;
    private final Process process;
    private final BufferedReader out;
    private final Writer in;

    Sim(String... options) throws IOException {
        List<String> command = new ArrayList<>();
        command.add(System.getProperty("vx.bin") + "/vxsimulator");
        command.add("--control");
        command.addAll(Arrays.asList(options));
        process = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        out = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.ISO_8859_1));
        in = new OutputStreamWriter(process.getOutputStream(), StandardCharsets.ISO_8859_1);
        String line = out.readLine();
        if (line == null || line.indexOf(' ') < 0)
            throw new IOException("simulator did not start: " + line);
        id = line.substring(0, line.indexOf(' '));
        path = line.substring(line.indexOf(' ') + 1);
    }

    /** Runs one command; the monotonic time (ns) the simulator acted at. */
    synchronized long command(String line) throws IOException {
        in.write(line + "\n");
        in.flush();
        String answer = out.readLine();
        if (answer == null || !answer.startsWith("ok "))
            throw new IOException("simulator refused \"" + line + "\": " + answer);
        return Long.parseLong(answer.substring(3));
    }

    long scan(String aim, int codeId, String label) throws IOException {
        return command(String.format("scan %s %02x %s", aim, codeId & 0xFF, label).trim());
    }

    static String hex(byte[] bytes) {
        StringBuilder text = new StringBuilder();
        for (byte b : bytes)
            text.append(String.format("%02x", b & 0xFF));
        return text.toString();
    }

    @Override
    public void close() throws IOException {
        in.close();
        try {
            process.waitFor();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
