package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.lang.invoke.MethodHandles;
import java.lang.invoke.MethodType;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import org.junit.jupiter.api.Test;

/**
 * The native library finds these methods by name and JNI descriptor, and
 * binds the natives by name; a method renamed or retyped here would only show
 * as a failed lookup inside the library.
 */
class LibraryInterfaceTest {

    private static final Map<String, String> BRIDGE_CALLS = new TreeMap<>(Map.ofEntries(
            Map.entry("getSessionID", "()C"),
            Map.entry("SendKeys", "([BZ)J"),
            Map.entry("SendToFront", "()J"),
            Map.entry("GetPSSize", "()J"),
            Map.entry("GetPSSizeRows", "()J"),
            Map.entry("GetPSSizeCols", "()J"),
            Map.entry("QueryCursorLocation", "()J"),
            Map.entry("Reserve", "()J"),
            Map.entry("Release", "()J"),
            Map.entry("CopyOIA", "()J"),
            Map.entry("CopyPS", "(IIIZI)J"),
            Map.entry("SearchPS", "([BIIZ)J"),
            Map.entry("QueryFieldAttribute", "(I)J"),
            Map.entry("SetCursor", "(I)J"),
            Map.entry("ConvertPos", "(I)J"),
            Map.entry("ConvertRowCol", "(II)J"),
            Map.entry("CopyStringToPS", "([BI)J"),
            Map.entry("CopyStringToField", "([BI)J"),
            Map.entry("QuerySessionStatus", "()J"),
            Map.entry("StartCloseIntercept", "()J"),
            Map.entry("StopCloseIntercept", "()J"),
            Map.entry("StartKeystrokeIntercept", "()J"),
            Map.entry("StopKeystrokeIntercept", "()J"),
            Map.entry("SearchField", "([BIIZ)J"),
            Map.entry("FindFieldPosition", "(Ljava/lang/String;I)J"),
            Map.entry("FindFieldLength", "(Ljava/lang/String;I)J"),
            Map.entry("CopyFieldToString", "(IIIZI)J"),
            Map.entry("SendReceiveFile", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)J"),
            Map.entry("GetWindowTitle", "()J"),
            Map.entry("QueryWindowCoordinates", "()J"),
            Map.entry("IsVisible", "()J"),
            Map.entry("GetFontDimensions", "()J"),
            Map.entry("SetVisible", "(Z)J"),
            Map.entry("ChangeWindowName", "([BZ)J"),
            Map.entry("StartMacro", "([B)J"),
            Map.entry("ForgetEndedCallers", "()J")));

    private static final Map<String, String> ENABLER_CALLS = new TreeMap<>(Map.of(
            "startSession", "(Ljava/lang/Object;Ljava/lang/String;Ljava/lang/String;I)J",
            "stopSession", "(Ljava/lang/Object;Ljava/lang/String;)Z",
            "connectSession", "(Ljava/lang/Object;Ljava/lang/String;)Z",
            "disconnectSession", "(Ljava/lang/Object;Ljava/lang/String;)Z",
            "queryProfile", "(Ljava/lang/Object;Ljava/lang/String;)Z",
            "queryEmulatorStatus", "(Ljava/lang/Object;Ljava/lang/String;)J",
            "querySessionList", "(Ljava/lang/Object;)J"));

    private static final List<String> BRIDGE_NATIVES = List.of("cppRegisterEHLLAPI", "cppUnregisterEHLLAPI",
            "cppGetAvailableSessionID", "cppGetAvailableSessionIDMap", "cppGetVersion", "cppRetrieveEHLLAPIData",
            "cppSetRawData", "cppSetRawDataUnicodePS", "cppSetRawDataString", "cppSendOIANotifications",
            "cppSendPSNotifications", "cppInterruptWait", "cppSendClosingNotifications", "cppSendKeyNotifications",
            "cppGetCallerID", "cppCallerEnded");

    private static final List<String> ENABLER_NATIVES = List.of("cppRegisterQMXAPI", "cppUnregisterQMXAPI",
            "cppSetQMXAPIData");

    private static List<String> missing(Class<?> type, Map<String, String> calls) {
        List<String> missing = new ArrayList<>();
        calls.forEach((name, descriptor) -> {
            MethodType methodType = MethodType.fromMethodDescriptorString(descriptor, type.getClassLoader());
            try {
                MethodHandles.publicLookup().findVirtual(type, name, methodType);
            } catch (NoSuchMethodException | IllegalAccessException e) {
                missing.add(name + descriptor);
            }
        });
        return missing;
    }

    private static List<String> natives(Class<?> type) {
        List<String> names = new ArrayList<>();
        for (Method method : type.getDeclaredMethods()) {
            if (Modifier.isNative(method.getModifiers())) {
                names.add(method.getName());
            }
        }
        names.sort(null);
        return names;
    }

    @Test
    void everyMethodTheLibraryCallsIsThereWithItsDescriptor() {
        assertEquals(List.of(), missing(HLLBridge.class, BRIDGE_CALLS));
        assertEquals(List.of(), missing(QMXAPIEnabler.class, ENABLER_CALLS));
    }

    @Test
    void theNativesAreTheOnesTheLibraryExports() {
        assertEquals(BRIDGE_NATIVES.stream().sorted().toList(), natives(HLLBridge.class));
        assertEquals(ENABLER_NATIVES.stream().sorted().toList(), natives(QMXAPIEnabler.class));
    }
}
