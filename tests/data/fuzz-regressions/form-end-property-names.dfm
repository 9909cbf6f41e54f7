object F: TForm1
  End = 5
  End = 6
  object Q: TQuery
  end
end
