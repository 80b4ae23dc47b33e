print("hello, world")
