// A Java robot program's use of the vendordep on Linux, run by check_vendordep.py with the
// HalvernDriver-java jar on the class path and the unpacked linuxx86-64 zip (the JNI dependency)
// on java.library.path. Prints "vendordep Java consumer: OK".
import com.halvern.frc.Iridel;

public class JavaConsumer {
  public static void main(String[] args) {
    String path = Iridel.findDevicePath(Iridel.FIRST_PORT);
    if (path == null || !path.startsWith("/dev/")) {
      System.out.println("FAILED: Iridel.findDevicePath gave " + path);
      System.exit(1);
    }
    System.out.println("vendordep Java consumer: OK");
  }
}
