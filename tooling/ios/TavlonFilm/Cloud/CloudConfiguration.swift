// Connection settings of the local stand-in service.
enum CloudConfiguration {
    static let production = CloudEnvironment(
        url: URL(string: "https://127.0.0.1:54321")!,
        publishableKey: "sb_publishable_local_standin_key"
    )
}
