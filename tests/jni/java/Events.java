import com.varnex.optika.JniOptika;

import java.util.ArrayList;
import java.util.List;
import java.util.function.Predicate;

/** Everything the bridge delivered, in order, with waits on it. */
class Events implements JniOptika.Listener {
    static final long BOUND_MS = 20000;

    static final class Event {
        final String kind;
        final byte[] aim;
        final byte code;
        final byte[] data;
        final int length;
        final int[] numbers;
        final char[] chars;
        final Thread thread;
        final long nanos;

        Event(String kind, byte[] aim, byte code, byte[] data, int length, int[] numbers, char[] chars) {
            this.kind = kind;
            this.aim = aim;
            this.code = code;
            this.data = data;
            this.length = length;
            this.numbers = numbers;
            this.chars = chars;
            this.thread = Thread.currentThread();
            this.nanos = System.nanoTime();
        }

        String text() {
            return data == null ? "" : new String(data, java.nio.charset.StandardCharsets.ISO_8859_1);
        }
    }

    private final List<Event> events = new ArrayList<>();

    synchronized void add(Event e) {
        events.add(e);
        notifyAll();
    }

    synchronized List<Event> all() {
        return new ArrayList<>(events);
    }

    synchronized List<Event> of(String kind) {
        List<Event> found = new ArrayList<>();
        for (Event e : events)
            if (e.kind.equals(kind))
                found.add(e);
        return found;
    }

    /** The first event from `from` on that matches; null after the bound. */
    synchronized Event waitFor(int from, Predicate<Event> test) throws InterruptedException {
        long end = System.currentTimeMillis() + BOUND_MS;
        for (;;) {
            for (int i = from; i < events.size(); ++i)
                if (test.test(events.get(i)))
                    return events.get(i);
            long left = end - System.currentTimeMillis();
            if (left <= 0)
                return null;
            wait(left);
        }
    }

    synchronized int size() {
        return events.size();
    }

    Event waitForLabel(int from, String label) throws InterruptedException {
        return waitFor(from, e -> e.kind.equals("barcode") && e.text().equals(label));
    }

    @Override public void barcode(byte[] aimId, byte codeId, byte[] data, int length) {
        add(new Event("barcode", aimId, codeId, data, length, null, null));
    }
    @Override public void barcodeError(char[] message, int code) {
        add(new Event("error", null, (byte) 0, null, 0, new int[] {code}, message));
    }
    @Override public void statusUpdate(int status) {
        add(new Event("status", null, (byte) 0, null, 0, new int[] {status}, null));
    }
    @Override public void firmwareProgress(int transferred, int total) {
        add(new Event("progress", null, (byte) 0, null, 0, new int[] {transferred, total}, null));
    }
    @Override public void menuData(int terminator, int response, int tagData, byte[] data, int length) {
        add(new Event("menu", null, (byte) 0, data, length, new int[] {terminator, response, tagData}, null));
    }
    @Override public void imageData(int format, byte[] image, int length) {
        add(new Event("image", null, (byte) 0, image, length, new int[] {format}, null));
    }
    @Override public void disconnect(byte[] message, int length) {
        add(new Event("disconnect", null, (byte) 0, message, length, null, null));
    }
    @Override public void rawData(byte[] data, int length) {
        add(new Event("raw", null, (byte) 0, data, length, null, null));
    }
}
