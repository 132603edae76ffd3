package com.halvern.frc.bench;

import com.halvern.frc.jni.OrdexJNI;

/**
 * A timed tool for the cost of the Ordex JNI bindings as a Java robot program pays it: a setter
 * and a plain reading, each called in a tight loop after a warm-up, on the stand-in HAL.
 *
 * <p>Run: {@code java -Djava.library.path=<build>/lib -cp <build>/lib/halvern.jar:<build>/bench/ordex_jni_bench.jar
 * com.halvern.frc.bench.OrdexJniBench [calls]}. Compare with ordex_bench's figures for the
 * same calls made from C.
 */
public final class OrdexJniBench {
  private OrdexJniBench() {}

  private interface Call {
    double run(long handle, int i);
  }

  private static double nanosPerCall(long handle, int calls, Call call) {
    double sink = 0;
    for (int i = 0; i < calls; i++) { // warm-up: let the JIT compile the loop
      sink += call.run(handle, i);
    }
    double best = Double.MAX_VALUE;
    for (int round = 0; round < 5; round++) {
      long start = System.nanoTime();
      for (int i = 0; i < calls; i++) {
        sink += call.run(handle, i);
      }
      best = Math.min(best, (System.nanoTime() - start) / (double) calls);
    }
    if (sink == 42.4242) {
      System.out.println(); // keeps the results alive
    }
    return best;
  }

  /** Prints nanoseconds per call, best of five rounds. */
  public static void main(String[] args) {
    int calls = args.length > 0 ? Integer.parseInt(args[0]) : 200_000;
    long handle = OrdexJNI.c_Ordex_create(5, 15000);
    if (handle == 0) {
      System.err.println("cannot create a controller");
      System.exit(1);
    }
    try {
      double setter =
          nanosPerCall(
              handle,
              calls,
              (h, i) -> {
                OrdexJNI.c_Ordex_setMotorSpeed(h, i & 3, 0.5);
                return 0;
              });
      double reading = nanosPerCall(handle, calls, (h, i) -> OrdexJNI.c_Ordex_getRPM(h, i & 3));
      System.out.printf("c_Ordex_setMotorSpeed through JNI: %.0f ns/call%n", setter);
      System.out.printf("c_Ordex_getRPM through JNI:        %.0f ns/call%n", reading);
    } finally {
      OrdexJNI.c_Ordex_destroy(handle);
    }
  }
}
